// Receiving, classifying, logging and answering the terminal's requests.
#include "app/requests.h"

#include <cstring>

#include "app/booking.h"
#include "app/event_log.h"
#include "app/journal.h"
#include "app/listener.h"
#include "platform/net.h"

namespace qx::app {
namespace {

// One receive of kReceiveSize bytes and a terminator that no receive overwrites, so the
// request is a terminated text even when it fills the buffer.
char receive_buffer[kReceiveSize + 1];

bool starts_with(const char* text, const char* keyword) {
    return std::strncmp(text, keyword, std::strlen(keyword)) == 0;
}

}  // namespace

RequestKind classify_request(const char* text) {
    if (std::strcmp(text, "get_alive,") == 0) return RequestKind::KeepAlive;
    if (starts_with(text, "regi")) return RequestKind::Booking;
    if (starts_with(text, "get_grund")) return RequestKind::AbsenceReasons;
    if (starts_with(text, "snd_termnr,")) return RequestKind::TerminalNumber;
    return RequestKind::Other;
}

void on_read() {
    // The request is the received bytes up to the first NUL, and every reader of the
    // buffer stops at a NUL: one terminator after them does what zeroing the whole
    // buffer before each receive would, at a fraction of the cost.
    const int received = platform::receive(terminal_socket(), receive_buffer, kReceiveSize);
    receive_buffer[received > 0 ? received : 0] = '\0';
    const RequestKind kind = classify_request(receive_buffer);
    if (kind == RequestKind::KeepAlive) {
        send_reply(kKeepAliveReply);  // the terminal polls often: never logged
        return;
    }
    if (kind == RequestKind::Booking) {
        // Not stored: logged as such and not answered, so the terminal sends it again.
        if (!journal_booking(receive_buffer)) return;
        log_booking(receive_buffer);
    } else {
        log_add_entry(receive_buffer, received);
    }
    switch (kind) {
        case RequestKind::AbsenceReasons: send_reply(kAbsenceReasonsReply); break;
        case RequestKind::TerminalNumber: send_reply(kTerminalNumberReply); break;
        case RequestKind::Booking: reply_booking(receive_buffer); break;
        default: break;
    }
}

void send_reply(const char* text) {
    platform::send_bytes(terminal_socket(), text, static_cast<int>(std::strlen(text)));
}

}  // namespace qx::app
