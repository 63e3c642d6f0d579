// The progress display of a scan (progress.h).
#include "tools/qxtool/progress.h"

#include <iostream>

#include "platform/files.h"
#include "support/file_table.h"

namespace qx::tool {

ScanProgress::ScanProgress(const char* file, std::int32_t length)
    : shown_(platform::error_output_is_terminal()), length_(length) {
    if (!shown_) return;
    const std::int16_t handle = table::table_open(file, "r");
    size_ = handle >= 0 ? platform::file_size(handle) : -1;
}

void ScanProgress::after(long records) {
    if (!shown_ || records % kCheckEvery != 0) return;
    const Clock::time_point now = Clock::now();
    if (now - shown_at_ < std::chrono::milliseconds(500)) return;
    shown_at_ = now;
    show(records, now);
}

void ScanProgress::finish(long records) {
    if (!shown_) return;
    show(records, Clock::now());
    std::cerr << "\n";
}

void ScanProgress::show(long records, Clock::time_point now) {
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::cerr << "\rscan: " << records << " records";
    if (size_ > 0) std::cerr << ", " << static_cast<long long>(records) * length_ * 100 / size_ << " %";
    std::cerr << ", " << (seconds > 0 ? static_cast<long long>(static_cast<double>(records) / seconds) : 0)
              << " records/s" << std::flush;
}

}  // namespace qx::tool
