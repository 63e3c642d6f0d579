// Scanning a personnel file of 1,000,000 persons as a restricted user (QX_AFD and QX_PEE
// set): a scan (blocks of records judged in place) and read_record record by record,
// both with the visibility rules, beside plain positioned reads of the same records in
// the same run. items_per_second is records per second.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/generated_installation.h"
#include "platform/env.h"
#include "support/config.h"
#include "support/language_names.h"
#include "visibility/records.h"

namespace {

constexpr int kPersons = 1000000;
constexpr int kLength = 1430;
constexpr char kName[] = "vst/pers.172";

void put(std::string& record, std::size_t position, const std::string& text) {
    record.replace(position, text.size() + 1, text + "~");
}

std::string person(int p) {
    static const char* const kDepartments[] = {"10", "20", "30", "40"};
    static const char* const kWorkplaces[] = {"W1", "W2", "W3", "W4", "W5", "W6"};
    std::string record(kLength, ' ');
    put(record, 0, std::to_string(p));
    put(record, 47, kDepartments[p % 4]);
    put(record, 192, "240101");
    put(record, 304, kWorkplaces[p % 6]);
    put(record, 1411, "U1");
    return record;
}

const qx::bench::GeneratedInstallation& installation() {
    static const qx::bench::GeneratedInstallation instance = [] {
        qx::platform::set_env("QX_AFD", "10,20");
        qx::platform::set_env("QX_PEE", "W1,W2,W3");
        qx::config::forget_config_vars();
        return qx::bench::GeneratedInstallation("qx-bench-personnel", kName, kPersons, kLength, person);
    }();
    return instance;
}

void BM_ScanRestricted(benchmark::State& state) {
    installation();
    qx::lang::default_language();
    long visible = 0;
    for (auto _ : state) {
        visible = 0;
        qx::records::RecordScan scan(kName, kLength);
        for (int code; (code = scan.next()) == qx::records::kReadOk || code == qx::records::kEmptyOrHidden;) {
            visible += code == qx::records::kReadOk ? 1 : 0;
        }
    }
    state.counters["visible"] = static_cast<double>(visible);
    state.SetItemsProcessed(state.iterations() * kPersons);
}
BENCHMARK(BM_ScanRestricted)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ReadRecordRestricted(benchmark::State& state) {
    installation();
    qx::lang::default_language();
    std::string buffer(kLength, '\0');
    long visible = 0;
    for (auto _ : state) {
        visible = 0;
        for (int n = 1; n <= kPersons; ++n) {
            visible += qx::records::read_record(kName, n, kLength, buffer.data()) == 0 ? 1 : 0;
        }
    }
    state.counters["visible"] = static_cast<double>(visible);
    state.SetItemsProcessed(state.iterations() * kPersons);
}
BENCHMARK(BM_ReadRecordRestricted)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RawReads(benchmark::State& state) {
    qx::bench::plain_positioned_reads(state, installation().path(), kPersons, kLength);
}
BENCHMARK(BM_RawReads)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
