// Fault injection for tests, as the platform layer's own switch: the Nth call of a
// chosen kind fails the way the system fails it (a file that cannot be opened, a read
// error, no memory), once or from then on, so that every failure path can be walked.
// Off unless a test arms it; when off a call costs one comparison. Owns the switch and
// the call counts.
#pragma once

namespace qx::platform {

enum class Fault {
    Open,    // file_open and text_open: the file cannot be opened
    Read,    // file_read, file_read_at, text_read_line: a read error
    Seek,    // file_seek: the position cannot be reached
    Close,   // file_close: an error (the descriptor is released all the same)
    Write,   // file_write: the disk is full, nothing written
    Sync,    // file_sync: an I/O error
    Stat,    // full_path, file_id, path_file_id: the file cannot be looked at
    Registry,  // reading the registry file (Linux layer): an I/O error, the key is not read
    NewSocket,  // tcp_socket: out of descriptors (Linux layer)
    Bind,    // bind_any: the port is in use (Linux layer)
    Listen,  // listen_socket: no buffer space (Linux layer)
    Accept,  // accept_socket: out of descriptors
    Recv,    // receive: the connection was reset
    Send,    // send_bytes: the connection was reset
    Alloc,   // the library's own allocations (the open-file table's name copies)
    Count
};

// Arms the switch: call number `nth` of `kind` from now on (1: the next) fails, and every
// later one too when `persistent`. Call counts start again from 0; other kinds never fail.
void fault_arm(Fault kind, long nth, bool persistent);

// Turns the switch off.
void fault_disarm();

// Calls of `kind` made since the switch was last armed or turned off.
long fault_calls(Fault kind);

namespace detail {
extern bool fault_armed;
extern long fault_call_counts[static_cast<int>(Fault::Count)];
bool fault_due(Fault kind, long call);
}  // namespace detail

// For the platform layer and the library, at each call of `kind`: counts it and says
// whether it must fail. Inline: a record read makes such calls, and when the switch is
// off that is a count and a test.
inline bool fault_now(Fault kind) {
    const long call = ++detail::fault_call_counts[static_cast<int>(kind)];
    return detail::fault_armed && detail::fault_due(kind, call);
}

}  // namespace qx::platform
