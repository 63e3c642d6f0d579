// Booking lines and booking replies.
#include "app/booking.h"

#include <cstdio>

#include "app/event_log.h"
#include "app/requests.h"
#include "support/datetime/date_text.h"
#include "support/text.h"

namespace qx::app {
namespace {

constexpr char kSeparator = ',';
constexpr std::int16_t kFunctionKeyField = 4;
constexpr std::int16_t kDateField = 5;
constexpr std::int16_t kTimeField = 6;
constexpr std::int16_t kCardField = 7;
constexpr int kMinutesPerHour = 60;

}  // namespace

char* booking_line(const char* request, char* line) {
    char function_key[text::kFieldBufferSize];
    char card[text::kFieldBufferSize];
    char time_digits[16];
    char date[32];
    char time[32];
    text::copy_text(function_key, sizeof function_key, text::field_at(kFunctionKeyField, request, kSeparator));
    std::snprintf(time_digits, sizeof time_digits, "%04d",
                  static_cast<int>(text::read_int(text::field_at(kTimeField, request, kSeparator))));
    datetime::date_text(text::read_int(text::field_at(kDateField, request, kSeparator)), "dmjl", date,
                        sizeof date);
    // The hours are the first two digits and the minutes the next two, whatever follows.
    const int hours = text::leading_number(time_digits, 2);
    const int minutes = text::leading_number(time_digits + 2, 2);
    datetime::minutes_text(hours * kMinutesPerHour + minutes, "%02d:%02d", time, sizeof time);
    text::copy_text(card, sizeof card, text::field_at(kCardField, request, kSeparator));
    std::snprintf(line, kBookingLineSize, "Card: %s at %s on %s (Fkey: %s)\r\n", card, time, date,
                  function_key);
    return line;
}

char* booking_reply(const char* request, char* reply) {
    std::snprintf(reply, kBookingReplySize,
                  "{\"success\":true,\"error\":\"SALDO\",\"name\":\"Hi %s again\",\"kumsal\":\"+0:15\","
                  "\"kumsaloms\":\"Balance\"}",
                  text::field_at(kCardField, request, kSeparator));
    return reply;
}

void log_booking(const char* request) {
    char line[kBookingLineSize];
    log_add_line(booking_line(request, line));
}

void reply_booking(const char* request) {
    char reply[kBookingReplySize];
    send_reply(booking_reply(request, reply));
}

}  // namespace qx::app
