// How fast "qxtool -" answers a batch: 40,000 mixed commands run through the same
// batch runner the program uses, in one process, output to a memory stream.
#include <benchmark/benchmark.h>

#include <sstream>
#include <string>

#include "support/datetime/calendar.h"
#include "support/text.h"
#include "tools/qxtool/commands.h"

namespace {

// A repeating mix of every kind of command, as a test script would send them.
std::string batch_input(int commands) {
    static const char* const kMix[] = {
        "leap\t2000",
        "day-of-year\t101014",
        "day-number\t20101014",
        "add-days\t991231\t400",
        "part\t101014\tww",
        "minutes\t545\t%02d:%02d",
        "date\t101014\tdmjl",
        "field\t7\tregi,1,2,F1,101014,0930,4711\t,",
        "field\t2\t  one \\t two   three\t ",
        "copy-field\t1\tabcdef,x\t,\t5",
        "trim1\tab   ",
        "lead\t0930\t2",
        "format\tHello\t%-8u",
        "format\t42\t%5d",
        "norm\t%s",
        "blank\t   ",
    };
    std::string input;
    for (int i = 0; i < commands; ++i) {
        input += kMix[i % (sizeof kMix / sizeof kMix[0])];
        input += '\n';
    }
    return input;
}

void BM_Batch40k(benchmark::State& state) {
    const std::string input = batch_input(40000);
    for (auto _ : state) {
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        benchmark::DoNotOptimize(qx::tool::run_batch(in, out, err));
    }
    state.SetItemsProcessed(state.iterations() * 40000);
}
BENCHMARK(BM_Batch40k)->Unit(benchmark::kMillisecond);

void BM_FieldAt(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(qx::text::field_at(7, "regi,1,2,F1,101014,0930,4711", ','));
    }
}
BENCHMARK(BM_FieldAt);

void BM_AddDaysExtreme(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(qx::datetime::add_days(20101014, INT32_MIN));
    }
}
BENCHMARK(BM_AddDaysExtreme);

}  // namespace

BENCHMARK_MAIN();
