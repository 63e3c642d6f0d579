// Booking lines and booking replies.
#include "app/booking.h"

#include <cstdio>
#include <cstring>

#include "app/event_log.h"
#include "support/datetime/date_text.h"
#include "support/safe_format.h"
#include "support/text.h"

namespace qx::app {
namespace {

constexpr char kSeparator = ',';
constexpr std::int16_t kFunctionKeyField = 4;
constexpr std::int16_t kDateField = 5;
constexpr std::int16_t kTimeField = 6;
constexpr std::int16_t kCardField = 7;
constexpr int kMinutesPerHour = 60;
constexpr std::size_t kJsonCardSize = text::kFieldBufferSize * 6;  // every byte as \u00XX

// `text` as the inside of a JSON string, into `out` (kJsonCardSize bytes).
const char* json_string_body(const char* text, char* out) {
    std::size_t n = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte == '"' || byte == '\\') {
            out[n++] = '\\';
            out[n++] = *p;
        } else if (byte < 0x20 || byte == 0x7F) {
            n += static_cast<std::size_t>(std::snprintf(out + n, kJsonCardSize - n, "\\u%04x", byte));
        } else {
            out[n++] = *p;
        }
    }
    out[n] = '\0';
    return out;
}

// Texts joined into `out` (size bytes), cut as snprintf cuts: what the formats below
// write, without the C library's formatter (a booking is answered in microseconds).
class Joined {
  public:
    Joined(char* out, std::size_t size) : out_(out), size_(size) { out_[0] = '\0'; }
    Joined& operator<<(const char* text) {
        std::size_t n = std::strlen(text);
        if (n > size_ - 1 - length_) n = size_ - 1 - length_;
        std::memcpy(out_ + length_, text, n);
        length_ += n;
        out_[length_] = '\0';
        return *this;
    }
    char* text() const { return out_; }

  private:
    char* out_;
    std::size_t size_;
    std::size_t length_ = 0;
};

}  // namespace

char* booking_line(const char* request, char* line) {
    char function_key[text::kFieldBufferSize];
    char card[text::kFieldBufferSize];
    char time_digits[16];
    char date[32];
    char time[32];
    text::copy_text(function_key, sizeof function_key, text::field_at(kFunctionKeyField, request, kSeparator));
    fmt::write_plain_integer(text::read_int(text::field_at(kTimeField, request, kSeparator)), 4, true, time_digits,
                             sizeof time_digits);  // "%04d"
    datetime::date_text(text::read_int(text::field_at(kDateField, request, kSeparator)), "dmjl", date,
                        sizeof date);
    // The hours are the first two digits and the minutes the next two, whatever follows.
    const int hours = text::leading_number(time_digits, 2);
    const int minutes = text::leading_number(time_digits + 2, 2);
    datetime::minutes_text(hours * kMinutesPerHour + minutes, "%02d:%02d", time, sizeof time);
    text::copy_text(card, sizeof card, text::field_at(kCardField, request, kSeparator));
    // "Card: %s at %s on %s (Fkey: %s)\r\n"
    return (Joined(line, kBookingLineSize) << "Card: " << card << " at " << time << " on " << date << " (Fkey: "
                                           << function_key << ")\r\n")
        .text();
}

char* booking_reply(const char* request, char* reply) {
    char card[kJsonCardSize];
    return (Joined(reply, kBookingReplySize)
            << "{\"success\":true,\"error\":\"SALDO\",\"name\":\"Hi "
            << json_string_body(text::field_at(kCardField, request, kSeparator), card)
            << " again\",\"kumsal\":\"+0:15\",\"kumsaloms\":\"Balance\"}")
        .text();
}

void log_booking(const char* request) {
    char line[kBookingLineSize];
    log_add_line(booking_line(request, line));
}

}  // namespace qx::app
