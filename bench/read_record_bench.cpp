// Reading 1,000,000 fixed-length records: read_record (open-file table look-up, seek,
// read, field ends, head number) beside a plain loop of positioned reads of the same
// records through the same platform calls. items_per_second is records per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench/generated_installation.h"
#include "visibility/records.h"

namespace {

constexpr int kRecords = 1000000;
constexpr int kLength = 60;
constexpr char kName[] = "vst/bench.166";

std::string cost_centre(int n) {
    char record[kLength + 16];
    std::snprintf(record, sizeof record, "%07d~CC%07d~%-20s~991231~%*s", n, n, "Cost centre", 14, "");
    return std::string(record, kLength);
}

const qx::bench::GeneratedInstallation& installation() {
    static const qx::bench::GeneratedInstallation instance("qx-bench-installation", kName, kRecords, kLength,
                                                           cost_centre);
    return instance;
}

void BM_ReadRecord(benchmark::State& state) {
    installation();
    char buffer[kLength];
    for (auto _ : state) {
        for (int n = 1; n <= kRecords; ++n) {
            if (qx::records::read_record(kName, n, kLength, buffer) != 0) state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(buffer);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ReadRecord)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PlainPositionedReads(benchmark::State& state) {
    qx::bench::plain_positioned_reads(state, installation().path(), kRecords, kLength);
}
BENCHMARK(BM_PlainPositionedReads)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
