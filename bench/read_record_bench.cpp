// Reading 1,000,000 fixed-length records: read_record (open-file table look-up, seek,
// read, field ends, head number) beside a plain loop of positioned reads of the same
// records through the same platform calls. items_per_second is records per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/env.h"
#include "platform/files.h"
#include "support/install_dirs.h"
#include "support/record.h"

namespace {

constexpr int kRecords = 1000000;
constexpr int kLength = 60;
constexpr char kName[] = "vst/bench.166";

// A generated installation with one file of kRecords records of kLength bytes.
class Installation {
  public:
    Installation() : root_(std::filesystem::temp_directory_path() / "qx-bench-installation") {
        std::filesystem::create_directories(root_ / "vst");
        path_ = (root_ / kName).string();
        std::ofstream out(path_, std::ios::binary);
        char record[kLength + 16];
        for (int n = 1; n <= kRecords; ++n) {
            std::snprintf(record, sizeof record, "%07d~CC%07d~%-20s~991231~%*s", n, n, "Cost centre", 14, "");
            out.write(record, kLength);
        }
        qx::platform::set_env("QXBASE", root_.string().c_str());
        qx::dirs::forget_directories();
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
    const int handle = qx::platform::file_open(installation().path().c_str(), qx::platform::FileAccess::ReadWrite,
                                               qx::platform::kFilePermission);
    char buffer[kLength];
    for (auto _ : state) {
        for (int n = 1; n <= kRecords; ++n) {
            qx::platform::file_seek(handle, static_cast<std::int64_t>(n - 1) * kLength);
            if (qx::platform::file_read(handle, buffer, kLength) != kLength) state.SkipWithError("read failed");
        }
        benchmark::DoNotOptimize(buffer);
    }
    qx::platform::file_close(handle);
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PlainPositionedReads)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
