// Booking journal lines: any request (the bytes before a NUL) gives one line of text
// without control bytes that reads back to the same request and fields, read by the
// same rule as any JSON reader reads it; any line reads
// without harm, and one that reads writes back to a line that reads the same.
#include "support/journal_line.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using qx::fuzz::check;

void check_written(const std::string& request) {
    const std::string line = qx::journal::journal_line(request, "2026-12-07T12:18:32.125+01:00");
    check(!line.empty() && line.back() == '\n');
    for (std::size_t i = 0; i + 1 < line.size(); ++i) check(static_cast<unsigned char>(line[i]) >= 0x20 && line[i] != 0x7F);
    // No escape that a JSON reader would take for a character where the reader below
    // takes a byte: both read the same bytes back.
    for (std::size_t at = 0; at + 5 < line.size(); ++at) {
        if (line[at] != '\\') continue;
        check(line.compare(at + 1, 3, "u00") != 0 || std::strchr("89abcdef", line[at + 4]) == nullptr);
        ++at;  // the escaped character
    }
    qx::journal::Booking booking;
    std::string problem;
    check(qx::journal::read_journal_line(std::string_view(line).substr(0, line.size() - 1), &booking, &problem) &&
          booking.request == request && booking.card == qx::journal::request_field(request, 7));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check_written(bytes.substr(0, bytes.find('\0')));
    qx::journal::Booking booking;
    std::string problem;
    if (qx::journal::read_journal_line(bytes, &booking, &problem)) check_written(booking.request);
    return 0;
}
