// The socket layer's event semantics (those of WSAAsyncSelect), through the real message
// loop and loopback TCP, as scenarios: steps run in order on a fresh listener. Each
// event step runs the loop until it hands over one message or reaches a quit posted
// behind it, so "no event" means nothing was ready then.
#include "platform/net.h"
#include "platform/faults.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/tcp_client.h"
#include "platform/window.h"

namespace qx::platform {
namespace {

constexpr unsigned kSocketMessage = 1;  // the lowest a selection can name
constexpr int kTimeoutMs = 5000;

using Event = std::pair<Socket, std::intptr_t>;  // wparam and lparam of a socket message
std::deque<Event> events;                           // those the test window received
WindowHandle window = nullptr;                      // the test window

std::intptr_t test_procedure(WindowHandle, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (message == kSocketMessage) events.emplace_back(wparam, lparam);
    return 0;
}

// Runs the loop once: it polls (queueing what is ready behind the quit) and hands over
// what was queued before.
void pump() {
    post_quit(0);
    run_message_loop();
}

// Runs `step` with no descriptors left to open; the limit comes back at once, for the
// sanitizers' checks need descriptors too.
template <typename Step>
auto without_descriptors(Step step) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    rlimit none = limit;
    none.rlim_cur = 0;
    ::setrlimit(RLIMIT_NOFILE, &none);
    const auto result = step();
    ::setrlimit(RLIMIT_NOFILE, &limit);
    return result;
}

// The next socket message, {kInvalidSocket, 0} when none came; with `wait`, polls the
// loop for up to kTimeoutMs, else takes only what is ready now.
Event next_event(bool wait) {
    for (int i = 0; i < (wait ? kTimeoutMs : 1) && events.empty(); ++i, ::usleep(1000)) {
        pump();  // what is ready gets queued
        pump();  // and delivered
    }
    const Event e = events.empty() ? Event{kInvalidSocket, 0} : events.front();
    if (!events.empty()) events.pop_front();
    return e;
}

// Steps, separated by blanks; "the client" is the last connected, "the socket" the last
// accepted; E is an error code, TEXT has no blank:
//   c / x / X    the client connects / closes / resets       sTEXT   the client sends TEXT (s!: fails)
//   A / R        next event: accept on the listener / read on the socket
//   CE           next event: close of the socket with error E        -   no event now
//   a / a!E      accepting works (giving the socket) / fails with E
//   rN=TEXT      receiving N bytes gives TEXT (none: the end)        rN!E   it fails with E
//   wTEXT / w!E  the socket sends TEXT / sending fails with E
//   g=TEXT g~ g. g!   the client receives TEXT / nothing in time / the end / a reset
//   S / K / k    the socket is shut down / closed with a reset / closed
//   m / mN       the socket asks for read events alone / for those of mask N   e   receive until the end
//   MN           the listener asks for the events of mask N
//   b            the listener is replaced by a new socket that is bound and does not listen
//   l / l!E      the listener listens / fails with E     u!E / n!E   a new socket binds to the
//                listener's port / to 192.0.2.1 (an address no host has) and fails with E
//   Z            descriptor 0 is closed (until the scenario ends)
//   F / N        the client connects with no descriptor left / the client did not connect
//   Q            the socket layer ends                       p   one turn of the loop
//   fA fR fS fL f-  the next accept / receive / send / listen fails; no failure
struct Scenario {
    Scenario() {
        EXPECT_EQ(net_startup(), 0);
        listener = tcp_socket();
        EXPECT_EQ(bind_any(listener, 0), 0);
        EXPECT_EQ(async_select(listener, window, kSocketMessage, kFdRead | kFdAccept | kFdClose), 0);
        EXPECT_EQ(listen_socket(listener, 1), 0);
        port = local_port(listener);
    }
    ~Scenario() {
        for (ClientSocket c : clients) client_close(c);
        fault_disarm();
        net_cleanup();  // which drops the socket messages still queued
        events.clear();
        if (saved_stdin >= 0) ::dup2(saved_stdin, 0), ::close(saved_stdin);
    }

    // A result against `want`: "!E" for a failure with error E, else success.
    static void expect(bool failed, const std::string& want) {
        EXPECT_EQ(failed, want[0] == '!');
        if (want[0] == '!') { EXPECT_EQ(last_socket_error(), std::stoi(want.substr(1))); }
    }

    void step(char op, const std::string& arg, const std::string& steps) {
        SCOPED_TRACE(op + arg + " of " + steps);
        const linger abort_on_close{1, 0};
        char buffer[64];
        const std::size_t mark = arg.find_first_of("=!");
        long got = 0;
        switch (op) {
            case 'c': clients.push_back(client_connect("127.0.0.1", port, kTimeoutMs)); break;
            case 'x':
            case 'X': client_close(clients.back(), op == 'X'), clients.pop_back(); break;
            case 's': ASSERT_EQ(client_send_all(clients.back(), arg.data(), arg.size()), arg != "!"); break;
            case 'A': EXPECT_EQ(next_event(true), Event(listener, kFdAccept)); break;
            case 'R': EXPECT_EQ(next_event(true), Event(socket, kFdRead)); break;
            case 'C': EXPECT_EQ(next_event(true), Event(socket, std::stoi(arg) << 16 | kFdClose)); break;
            case '-': EXPECT_EQ(next_event(false), Event(kInvalidSocket, 0)); break;
            case 'a': socket = accept_socket(listener), expect(socket == kInvalidSocket, arg); break;
            case 'r':
                got = receive(socket, buffer, std::stoi(arg.substr(0, mark)));
                expect(got < 0, arg.substr(mark));
                if (got >= 0) { EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), arg.substr(mark + 1)); }
                break;
            case 'w': expect(send_bytes(socket, arg.data(), static_cast<int>(arg.size())) != static_cast<int>(arg.size()), arg); break;
            case 'g':
                got = client_receive(clients.back(), buffer, 8, arg == "~" ? 10 : kTimeoutMs);
                if (arg[0] == '=') { EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), arg.substr(1)); }
                if (arg[0] != '=') { EXPECT_EQ(got, arg == "~" ? kReceiveTimeout : arg == "!" ? kReceiveError : kReceiveClosed); }
                break;
            case 'S': EXPECT_EQ(shutdown_both(socket), 0); break;
            case 'K': ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
                [[fallthrough]];
            case 'k': EXPECT_EQ(close_socket(socket), 0); break;
            case 'm':
            case 'M': ASSERT_EQ(async_select(op == 'm' ? socket : listener, window, kSocketMessage, arg.empty() ? kFdRead : std::stol(arg)), 0); break;
            case 'e': for (int i = 0; i < kTimeoutMs && receive(socket, buffer, 8) != 0; ++i) ::usleep(1000); break;
            case 'b': listener = tcp_socket(); EXPECT_EQ(bind_any(listener, 0), 0); break;
            case 'l': expect(listen_socket(listener, 1) != 0, arg.empty() ? "0" : arg); break;
            case 'u': expect(bind_any(tcp_socket(), port) != 0, arg); break;
            case 'n': expect(bind_address(tcp_socket(), 0xC0000201, 0) != 0, arg); break;
            case 'Z': saved_stdin = ::dup(0), ::close(0); break;
            case 'F': clients.push_back(without_descriptors([&] { return client_connect("127.0.0.1", port, kTimeoutMs); })); break;
            case 'N': EXPECT_EQ(clients.back(), kNoClient); break;
            case 'Q': EXPECT_EQ(net_cleanup(), 0); break;
            case 'p': pump(); break;
            case 'f':
                arg == "-" ? fault_disarm() : fault_arm(arg == "A" ? Fault::Accept : arg == "R" ? Fault::Recv : arg == "L" ? Fault::Listen : Fault::Send, 1, false);
                break;
            default: FAIL() << "unknown step";
        }
    }

    Socket listener = kInvalidSocket;
    Socket socket = kInvalidSocket;
    std::uint16_t port = 0;
    std::vector<ClientSocket> clients;
    int saved_stdin = -1;
};

TEST(NetTest, Scenarios) {
    // no loop can be made, for want of descriptors: the layer does not start (WSASYSNOTREADY)
    const int started = without_descriptors(net_startup);
    EXPECT_EQ(std::make_pair(started, last_socket_error()), std::make_pair(kSocketError, 10091));
    EXPECT_EQ(local_port(kInvalidSocket), 0);
    unsigned long error = 0;
    register_window_class("net test", test_procedure, 0, &error);
    window = create_main_window("net test", "net test", &error);
    ASSERT_NE(window, nullptr);
    events.clear();  // its creation message has the number of the socket messages
    const char* const scenarios[] = {
        // a connection refused for want of descriptors, also when the client's descriptor is 0,
        // leaves nothing pending: accept would block; a socket that does not listen cannot accept
        "Z c A fA a!10024 g. - a!10035 - b a!10022 u!10048 n!10049",
        // a listen that fails gives its error, and the next works
        "b fL l!10055 l",
        // a process started with standard input closed gets descriptor 0 for a connection
        // and then for a new socket
        "c Z A a k b a!10022",
        // one accept event for two connections, again after the first accept only (not after
        // listening again)
        "c c A l - a A a -",
        // a read is posted once (the socket inherits window, message and mask), again
        // after a partial receive, which also takes the bytes that came after the event
        "c A a s0123456789 R sa - r4=0123 R r64=456789a - r64!10035",
        // a graceful close is posted once, after the data is read
        "c A a s12345 x R r3=123 R r3=45 C0 r3= -",
        // a reset is a close with its error (a socket made meanwhile changes nothing), and
        // sending after it fails without a signal; a closed socket is none, also when its
        // number is in use again
        "c A a X b C10054 w!10054 - k c c w!10038",
        // messages queued before the layer ends are dropped, and its sockets closed (also 0)
        "c Z A a sx p Q - a!10093 g.",
        // the tools' client (on descriptor 0 too) tells data, nothing in time, the end and
        // a reset apart, and sending after the reset fails
        "Z c A a g~ w wab g=ab S g. c A a K g! s!",
        // only the events of the mask are posted: reads, and no close
        "c A a m sx R r8=x x e -",
        // selecting again posts the read that waits, though its event was posted before
        "c A a sabc R m R r8=abc -",
        // injected failures give their errors, once, and the layer goes on: the failed
        // accept took the connection and closed it, also when its descriptor is 0 and
        // when the one held in reserve is 0
        "c Z A fA a!10024 g. u!10048 c A fA a!10024 g. f- c A a sabc R fR r8!10054 fS w!10054 wx",
        // a client that gets no socket, or no connection, is none, not descriptor 0
        "F N Q c N",
        // the end reported with the last bytes is posted after them, once; bytes that came
        // after the read event go with the end to the receive that takes the rest
        "c A a s1 x R r8=1 C0 S - c A a s23 R s4 x - r1=2 R r8=34 C0",
        // a mask without reads posts none, bytes read ahead stay in order, and a read posted
        // when reads are asked for again is posted once; receiving 0 bytes takes none
        "c A a sabc R m32 - r1=a r0= - sd - m32 r8=bcd se - sf m32 m R r8=ef -",
        // a listener without FD_ACCEPT posts no accept until it asks again; a connection
        // accepted without selection gets events once selected; closing drops its queued ones
        "M1 c - M41 A a M0 c a m - sx R r8=x sy p k -",
    };
    for (const std::string steps : scenarios) {
        Scenario scenario;
        std::istringstream in(steps);
        for (std::string step; in >> step;) scenario.step(step[0], step.substr(1), steps);
    }
}

}  // namespace
}  // namespace qx::platform
