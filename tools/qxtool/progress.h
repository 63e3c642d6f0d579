// The progress of a scan on standard error when that is a terminal (a person waiting):
// records read, the part of the file they are and records per second, redrawn in place
// twice a second and once at the end. Nothing when standard error is a pipe or a file.
// Each ScanProgress owns its own clock readings; no process-wide state.
#pragma once

#include <chrono>
#include <cstdint>

namespace qx::tool {

class ScanProgress {
  public:
    // Starts the clock for a scan of data-file `file` with records of `length` bytes
    // (the file is opened through the library's file table to learn its size).
    ScanProgress(const char* file, std::int32_t length);

    // Called after each record: shows the count `records` at most twice a second.
    void after(long records);

    // Called at the end: shows the count `records` and ends the line.
    void finish(long records);

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr long kCheckEvery = 1024;  // records between looks at the clock

    void show(long records, Clock::time_point now);

    bool shown_;                             // standard error is a terminal
    std::int64_t length_;                    // bytes per record
    std::int64_t size_ = -1;                 // bytes in the file, -1: unknown
    Clock::time_point start_ = Clock::now();
    Clock::time_point shown_at_ = start_;    // the last show
};

}  // namespace qx::tool
