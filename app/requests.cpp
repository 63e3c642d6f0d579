// Receiving, classifying, logging and answering the terminal's requests.
#include "app/requests.h"

#include <cstring>
#include <string>

#include "app/commit.h"
#include "app/event_log.h"
#include "app/status.h"
#include "platform/net.h"

namespace qx::app {
namespace {

constexpr std::size_t kTerminalDigits = 9;  // the most a terminal number has

// One receive of kReceiveSize bytes and a terminator that no receive overwrites, so the
// request is a terminated text even when it fills the buffer.
char receive_buffer[kReceiveSize + 1];

bool starts_with(const char* text, const char* keyword) {
    return std::strncmp(text, keyword, std::strlen(keyword)) == 0;
}

// The request as an entry of `c`: its bytes up to the first NUL, behind the prefix.
void log_request(const Connection& c, int received) {
    const char* prefix = log_prefix(c);
    if (*prefix == '\0') return log_add_entry(receive_buffer, received);
    const std::string entry = prefix + std::string(receive_buffer);
    log_add_entry(entry.c_str(), static_cast<long>(entry.size()));
}

}  // namespace

RequestKind classify_request(const char* text) {
    if (std::strcmp(text, "get_alive,") == 0) return RequestKind::KeepAlive;
    if (starts_with(text, "regi")) return RequestKind::Booking;
    if (starts_with(text, "get_grund")) return RequestKind::AbsenceReasons;
    if (starts_with(text, "snd_termnr,")) return RequestKind::TerminalNumber;
    return RequestKind::Other;
}

long reported_terminal(const char* text) {
    const char* digits = text + std::strlen("snd_termnr,");
    long number = 0;
    std::size_t n = 0;
    for (; n < kTerminalDigits && digits[n] >= '0' && digits[n] <= '9'; ++n) number = number * 10 + (digits[n] - '0');
    return n > 0 ? number : kUnknownTerminal;
}

void on_read(Connection& c) {
    // The request is the received bytes up to the first NUL, and every reader of the
    // buffer stops at a NUL: one terminator after them ends the request.
    const int received = platform::receive(c.socket, receive_buffer, kReceiveSize);
    receive_buffer[received > 0 ? received : 0] = '\0';
    connection_heard(c);
    status_changed();
    const RequestKind kind = classify_request(receive_buffer);
    if (kind == RequestKind::KeepAlive) {
        send_reply(c, kKeepAliveReply);  // the terminal polls often: never logged
        return;
    }
    if (kind == RequestKind::Booking) return take_booking(c, receive_buffer);
    if (kind == RequestKind::TerminalNumber && reported_terminal(receive_buffer) != kUnknownTerminal) {
        connection_set_terminal(c, reported_terminal(receive_buffer));
    }
    log_request(c, received);
    if (kind == RequestKind::AbsenceReasons) send_reply(c, kAbsenceReasonsReply);
    if (kind == RequestKind::TerminalNumber) send_reply(c, kTerminalNumberReply);
}

}  // namespace qx::app
