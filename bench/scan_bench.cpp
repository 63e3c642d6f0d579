// Scanning a personnel file of 1,000,000 persons as a restricted user (QX_AFD and QX_PEE
// set): read_record with the visibility rules, beside plain positioned reads of the same
// records in the same run. items_per_second is records per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/env.h"
#include "platform/files.h"
#include "support/config.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "support/record.h"

namespace {

constexpr int kPersons = 1000000;
constexpr int kLength = 1430;
constexpr char kName[] = "vst/pers.172";

void put(std::string& record, std::size_t position, const std::string& text) {
    record.replace(position, text.size() + 1, text + "~");
}

// A generated installation with a personnel file of kPersons records.
class Installation {
  public:
    Installation() : root_(std::filesystem::temp_directory_path() / "qx-bench-personnel") {
        std::filesystem::create_directories(root_ / "vst");
        path_ = (root_ / kName).string();
        std::ofstream out(path_, std::ios::binary);
        static const char* const kDepartments[] = {"10", "20", "30", "40"};
        static const char* const kWorkplaces[] = {"W1", "W2", "W3", "W4", "W5", "W6"};
        for (int p = 1; p <= kPersons; ++p) {
            std::string record(kLength, ' ');
            put(record, 0, std::to_string(p));
            put(record, 47, kDepartments[p % 4]);
            put(record, 192, "240101");
            put(record, 304, kWorkplaces[p % 6]);
            put(record, 1411, "U1");
            out.write(record.data(), kLength);
        }
        qx::platform::set_env("QXBASE", root_.string().c_str());
        qx::platform::set_env("QX_AFD", "10,20");
        qx::platform::set_env("QX_PEE", "W1,W2,W3");
        qx::config::forget_config_vars();
        qx::dirs::forget_directories();
        qx::lang::default_language();
    }
    ~Installation() { std::filesystem::remove_all(root_); }
    const std::string& path() const { return path_; }

  private:
    std::filesystem::path root_;
    std::string path_;
};

const Installation& installation() {
    static const Installation instance;
    return instance;
}

void BM_ScanRestricted(benchmark::State& state) {
    installation();
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
BENCHMARK(BM_ScanRestricted)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RawReads(benchmark::State& state) {
    const int handle = qx::platform::file_open(installation().path().c_str(), qx::platform::FileAccess::ReadWrite,
                                               qx::platform::kFilePermission);
    std::string buffer(kLength, '\0');
    for (auto _ : state) {
        for (int n = 1; n <= kPersons; ++n) {
            qx::platform::file_seek(handle, static_cast<std::int64_t>(n - 1) * kLength);
            benchmark::DoNotOptimize(qx::platform::file_read(handle, buffer.data(), kLength));
        }
    }
    qx::platform::file_close(handle);
    state.SetItemsProcessed(state.iterations() * kPersons);
}
BENCHMARK(BM_RawReads)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
