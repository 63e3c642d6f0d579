// The terminal's requests as the server takes them: any bytes, cut into pieces as
// receives would give them, classified, logged (booking lines too) and answered. The
// event log stays within its capacity and ends with the newest entry whole (unless the
// entry holds as many lines as the log keeps), and a
// booking reply is JSON whose strings hold no raw quote or control byte.
#include "app/booking.h"
#include "app/event_log.h"
#include "app/requests.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using qx::fuzz::check;

// True when every string of `json` is closed and holds no raw control byte.
bool strings_are_sound(const char* json) {
    bool inside = false;
    for (const char* p = json; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (inside && (c < 0x20 || (c == '\\' && *++p == '\0'))) return false;
        if (c == '"') inside = !inside;
    }
    return !inside;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qx::app;
    log_reset(nullptr);
    std::size_t at = 0;
    while (at < size) {
        // The first byte of a piece says how long it is (a receive takes at most 1024).
        const std::size_t length = std::min<std::size_t>(size - at, 1 + data[at] * 5u);
        const std::string piece(reinterpret_cast<const char*>(data) + at,
                                std::min<std::size_t>(length, static_cast<std::size_t>(kReceiveSize)));
        at += length;
        const char* request = piece.c_str();  // up to the first NUL, as the server reads it
        const RequestKind kind = classify_request(request);
        if (kind == RequestKind::Booking) {
            char reply[kBookingReplySize];
            check(strings_are_sound(booking_reply(request, reply)));
            log_booking(request);
        } else if (kind != RequestKind::KeepAlive) {
            log_add_entry(request, static_cast<long>(piece.size()));
            const std::size_t entry = std::strlen(request);
            const std::string text = log_text();
            check(text.size() < kLogCapacity);
            // Trimming counts line feeds, so an entry of 14 or more lines is cut too.
            if (std::count(request, request + entry, '\n') < kLogEntries) {
                check(text.size() >= entry + 2 && text.compare(text.size() - entry - 2, entry, request) == 0);
            }
        }
        check(std::strlen(log_text()) < kLogCapacity);
    }
    return 0;
}
