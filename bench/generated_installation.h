// Shared by the record benchmarks: a temporary installation with one generated data
// file, made once per process and removed at its end, and the plain loop of positioned
// reads that record reading is measured against.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/env.h"
#include "platform/files.h"
#include "support/install_dirs.h"

namespace qx::bench {

class GeneratedInstallation {
  public:
    // Writes `records` records of `length` bytes, record n from `make_record(n)`, to the
    // data file `name` of a fresh installation, and makes it the installation root.
    GeneratedInstallation(const char* directory, const char* name, int records, int length,
                          const std::function<std::string(int)>& make_record)
        : root_(std::filesystem::temp_directory_path() / directory) {
        std::filesystem::create_directories((root_ / name).parent_path());
        path_ = (root_ / name).string();
        std::ofstream out(path_, std::ios::binary);
        for (int n = 1; n <= records; ++n) out.write(make_record(n).data(), length);
        platform::set_env("QXBASE", root_.string().c_str());
        dirs::forget_directories();
    }
    ~GeneratedInstallation() { std::filesystem::remove_all(root_); }
    GeneratedInstallation(const GeneratedInstallation&) = delete;
    GeneratedInstallation& operator=(const GeneratedInstallation&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::filesystem::path root_;
    std::string path_;
};

// Reads records 1 to `records` of `length` bytes of `path` with one positioned read each.
inline void plain_positioned_reads(benchmark::State& state, const std::string& path, int records, int length) {
    const int handle = platform::file_open(path.c_str(), platform::FileAccess::ReadWrite, platform::kFilePermission);
    std::string buffer(static_cast<std::size_t>(length), '\0');
    for (auto _ : state) {
        for (int n = 1; n <= records; ++n) {
            platform::file_seek(handle, static_cast<std::int64_t>(n - 1) * length);
            if (platform::file_read(handle, buffer.data(), static_cast<std::size_t>(length)) != length) {
                state.SkipWithError("read failed");
            }
        }
    }
    platform::file_close(handle);
    state.SetItemsProcessed(state.iterations() * records);
}

}  // namespace qx::bench
