// The socket layer's event semantics (those of WSAAsyncSelect), through the real message
// loop and loopback TCP, as scenarios: steps run in order on a fresh listener. Each
// event step runs the loop until it hands over one message or reaches a quit posted
// behind it, so "no event" means nothing was ready then.
#include "platform/net.h"
#include "platform/faults.h"

#include <gtest/gtest.h>

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

constexpr unsigned kSocketMessage = 0x68;
constexpr int kTimeoutMs = 5000;

using Event = std::pair<Socket, std::intptr_t>;  // wparam and lparam of a socket message
std::deque<Event> events;                           // those the test window received

std::intptr_t test_procedure(WindowHandle, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (message == kSocketMessage) events.emplace_back(wparam, lparam);
    return 0;
}

WindowHandle test_window() {
    static WindowHandle window = [] {
        unsigned long error = 0;
        register_window_class("net test", test_procedure, 0, &error);
        return create_main_window("net test", "net test", &error);
    }();
    return window;
}

// Runs the loop once: it polls (queueing what is ready behind the quit) and hands over
// what was queued before.
void pump() {
    post_quit(0);
    run_message_loop();
}

// The next socket message; with `wait`, polls the loop for up to kTimeoutMs, else only
// takes what is ready now. {kInvalidSocket, 0} when none came.
Event next_event(bool wait) {
    for (int i = 0; i < kTimeoutMs && events.empty(); ++i) {
        pump();  // what is ready gets queued
        pump();  // and delivered
        if (!wait) break;
        if (events.empty()) ::usleep(1000);
    }
    if (events.empty()) return {kInvalidSocket, 0};
    const Event e = events.front();
    events.pop_front();
    return e;
}

// Steps, separated by blanks; "the client" is the last connected, "the socket" the last
// accepted; E is an error code, TEXT has no blank:
//   c / x / X    the client connects / closes / resets       sTEXT   the client sends TEXT
//   A / R        next event: accept on the listener / read on the socket
//   CE           next event: close of the socket with error E        -   no event now
//   a a!E a=N    accept: works / fails with E / gives socket N
//   rN=TEXT      receiving N bytes gives TEXT (none: the end)        rN!E   it fails with E
//   wTEXT / w!   the socket sends TEXT / sending fails
//   g=TEXT g~ g. g! g?   the client receives TEXT / nothing in time / the end / a reset /
//                the end or a reset
//   S / K / k    the socket is shut down / closed with a reset / closed
//   m            the socket asks for read events alone       e   receive until the end
//   b            the listener is replaced by a new socket that is bound and does not listen
//   Z            descriptor 0 is closed (until the scenario ends)
//   Q            the socket layer ends                       p   one turn of the loop
//   fA fR fS f-  the next accept / receive / send fails; no failure
class Scenario {
  public:
    Scenario() {
        EXPECT_EQ(net_startup(), 0);
        events.clear();
        listener_ = tcp_socket();
        EXPECT_EQ(bind_any(listener_, 0), 0);
        EXPECT_EQ(async_select(listener_, test_window(), kSocketMessage, kFdRead | kFdAccept | kFdClose), 0);
        EXPECT_EQ(listen_socket(listener_, 1), 0);
        port_ = local_port(listener_);
    }
    ~Scenario() {
        for (ClientSocket c : clients_) client_close(c);
        fault_disarm();
        net_cleanup();
        pump();
        events.clear();
        if (saved_stdin_ >= 0) ::dup2(saved_stdin_, 0), ::close(saved_stdin_);
    }

    void run(const std::string& steps) {
        std::istringstream in(steps);
        for (std::string step; in >> step;) {
            SCOPED_TRACE("step " + step + " of " + steps);
            this->step(step[0], step.substr(1));
        }
    }

  private:
    // The next event: `event` of `socket` with `error` (LOWORD and HIWORD of lparam).
    static void expect_event(long event, Socket socket, int error) {
        EXPECT_EQ(next_event(event != 0), Event(event != 0 ? socket : kInvalidSocket, error << 16 | event));
    }
    // `failed` and the error against `want`: "!E" for a failure with error E.
    static void expect_failure(bool failed, const std::string& want) {
        EXPECT_EQ(failed, want[0] == '!');
        if (want[0] == '!') { EXPECT_EQ(last_socket_error(), std::stoi(want.substr(1))); }
    }
    void accept(const std::string& want) {
        const Socket got = accept_socket(listener_);
        expect_failure(got == kInvalidSocket, want);
        if (want[0] == '=') { EXPECT_EQ(got, std::stoul(want.substr(1))); }
        socket_ = got;
    }
    void receive_step(const std::string& arg) {
        const std::size_t mark = arg.find_first_of("=!");
        char buffer[64];
        const int got = receive(socket_, buffer, std::stoi(arg.substr(0, mark)));
        expect_failure(got == kSocketError, arg.substr(mark));
        if (got >= 0) { EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(got)), arg.substr(mark + 1)); }
    }
    void client_step(const std::string& arg) {
        char buffer[8];
        long got = client_receive(clients_.back(), buffer, sizeof buffer, arg == "~" ? 10 : kTimeoutMs);
        if (arg == "?" && got == kReceiveError) got = kReceiveClosed;  // either will do
        if (arg[0] == '=') {
            EXPECT_EQ(std::string(buffer, got > 0 ? static_cast<std::size_t>(got) : 0), arg.substr(1));
        } else {
            EXPECT_EQ(got, arg == "~" ? kReceiveTimeout : arg == "!" ? kReceiveError : kReceiveClosed);
        }
    }

    void step(char op, const std::string& arg) {
        const linger abort_on_close{1, 0};
        char buffer[8];
        switch (op) {
            case 'c': clients_.push_back(client_connect("127.0.0.1", port_, kTimeoutMs)); break;
            case 'x':
            case 'X': client_close(clients_.back(), op == 'X'), clients_.pop_back(); break;
            case 's': ASSERT_TRUE(client_send_all(clients_.back(), arg.data(), arg.size())); break;
            case 'A': expect_event(kFdAccept, listener_, 0); break;
            case 'R': expect_event(kFdRead, socket_, 0); break;
            case 'C': expect_event(kFdClose, socket_, std::stoi(arg)); break;
            case '-': expect_event(0, 0, 0); break;
            case 'a': accept(arg); break;
            case 'r': receive_step(arg); break;
            case 'w':
                EXPECT_EQ(send_bytes(socket_, arg.data(), static_cast<int>(arg.size())), arg == "!" ? kSocketError : static_cast<int>(arg.size()));
                break;
            case 'g': client_step(arg); break;
            case 'S': EXPECT_EQ(shutdown_both(socket_), 0); break;
            case 'K': ::setsockopt(static_cast<int>(socket_), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
                [[fallthrough]];
            case 'k': EXPECT_EQ(close_socket(socket_), 0); break;
            case 'm': ASSERT_EQ(async_select(socket_, test_window(), kSocketMessage, kFdRead), 0); break;
            case 'e':
                for (int i = 0; i < kTimeoutMs && receive(socket_, buffer, sizeof buffer) != 0; ++i) ::usleep(1000);
                break;
            case 'b': listener_ = tcp_socket(); EXPECT_EQ(bind_any(listener_, 0), 0); break;
            case 'Z': saved_stdin_ = ::dup(0); ::close(0); break;
            case 'Q': EXPECT_EQ(net_cleanup(), 0); break;
            case 'p': pump(); break;
            case 'f':
                if (arg == "-") fault_disarm();
                else fault_arm(arg == "A" ? Fault::Accept : arg == "R" ? Fault::Recv : Fault::Send, 1, false);
                break;
            default: FAIL() << "unknown step";
        }
    }

    Socket listener_ = kInvalidSocket;
    Socket socket_ = kInvalidSocket;
    std::uint16_t port_ = 0;
    std::vector<ClientSocket> clients_;
    int saved_stdin_ = -1;
};

TEST(NetTest, Scenarios) {
    ASSERT_NE(test_window(), nullptr);
    const char* const scenarios[] = {
        // nothing pending: accept would block; a socket that does not listen cannot accept
        "- a!10035 - b a!10022",
        // a process started with standard input closed gets descriptor 0 as a socket
        "c Z A a=0 k b a!10022",
        // one accept event for two connections, again after the first accept only
        "c c A - a A a -",
        // a read is posted once (the socket inherits window, message and mask), again
        // after a partial receive, which also takes the bytes that came after the event
        "c A a s0123456789 R sabc - r4=0123 R r64=456789abc - r64!10035",
        // a graceful close is posted once, after the data is read
        "c A a s12345 x R r3=123 R r3=45 C0 r3= -",
        // a reset is a close with its error, and sending after it fails without a signal
        "c A a X C10054 w! -",
        // messages queued before the layer ends are dropped
        "c p Q - a!10093",
        // the tools' client tells data, nothing in time, the end and a reset apart
        "c A a g~ wab g=ab S g. c A a K g!",
        // only the events of the mask are posted: reads, and no close
        "c A a m sx R r8=x x e -",
        // injected failures give their errors, once, and the layer goes on: the failed
        // accept took the connection and closed it
        "c A fA a!10024 g? f- c A a sabc R fR r8!10054 fS w! wx",
    };
    for (const char* steps : scenarios) Scenario().run(steps);
}

}  // namespace
}  // namespace qx::platform
