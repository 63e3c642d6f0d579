// The socket layer's event semantics (those of WSAAsyncSelect), through the real message
// loop and loopback TCP. Each step runs the loop until it hands over one message or
// reaches a quit posted behind it, so "no message" means nothing was ready then.
#include "platform/net.h"
#include "platform/faults.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <deque>
#include <thread>
#include <vector>
#include <string>
#include <utility>

#include "platform/linux/event_loop.h"
#include "platform/tcp_client.h"
#include "platform/window.h"

namespace qx::platform {
namespace {

constexpr unsigned kSocketMessage = 0x68;
constexpr long kMask = kFdRead | kFdAccept | kFdClose;
constexpr int kTimeoutMs = 5000;

struct Event {
    Socket socket;
    long event;
    int error;
};

std::deque<Event> events;  // socket messages the test window received

std::intptr_t test_procedure(WindowHandle, unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
    if (message == kSocketMessage) {
        events.push_back({wparam, static_cast<long>(lparam & 0xFFFF), static_cast<int>((lparam >> 16) & 0xFFFF)});
    }
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

class NetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(test_window(), nullptr);
        ASSERT_EQ(net_startup(), 0);
        events.clear();
        listener_ = tcp_socket();
        ASSERT_NE(listener_, kInvalidSocket);
        ASSERT_EQ(bind_any(listener_, 0), 0);
        ASSERT_EQ(async_select(listener_, test_window(), kSocketMessage, kMask), 0);
        ASSERT_EQ(listen_socket(listener_, 1), 0);
        port_ = local_port(listener_);
        ASSERT_NE(port_, 0);
    }
    void TearDown() override {
        for (ClientSocket c : clients_) client_close(c);
        net_cleanup();
        pump();
        events.clear();
    }

    ClientSocket connect_client() {
        const ClientSocket c = client_connect("127.0.0.1", port_, kTimeoutMs);
        EXPECT_NE(c, kNoClient);
        clients_.push_back(c);
        return c;
    }

    // Runs the loop once: it polls (queueing what is ready behind the quit) and hands
    // over what was queued before.
    static void pump() {
        post_quit(0);
        run_message_loop();
    }

    // The next socket message, or null when none was ready now.
    static const Event* next_event() {
        if (events.empty()) {
            pump();  // what is ready gets queued
            pump();  // and delivered
        }
        if (events.empty()) return nullptr;
        static Event last;
        last = events.front();
        events.pop_front();
        return &last;
    }

    // Waits for the next socket message, polling the loop; fails after kTimeoutMs.
    static Event wait_event() {
        for (int i = 0; i < kTimeoutMs; ++i) {
            if (const Event* e = next_event()) return *e;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ADD_FAILURE() << "no socket message";
        return {kInvalidSocket, 0, 0};
    }

    Socket accept_one() {
        const Event e = wait_event();
        EXPECT_EQ(e.event, kFdAccept);
        EXPECT_EQ(e.socket, listener_);
        const Socket s = accept_socket(listener_);
        EXPECT_NE(s, kInvalidSocket);
        return s;
    }

    Socket listener_ = kInvalidSocket;
    std::uint16_t port_ = 0;
    std::vector<ClientSocket> clients_;
};

// Nothing pending: no event, and accept would block; a socket that does not listen
// cannot accept.
TEST_F(NetTest, AcceptWithNothingPendingOrWithoutListening) {
    EXPECT_EQ(next_event(), nullptr);
    EXPECT_EQ(accept_socket(listener_), kInvalidSocket);
    EXPECT_EQ(last_socket_error(), 10035);  // WSAEWOULDBLOCK
    EXPECT_EQ(next_event(), nullptr);
    const Socket s = tcp_socket();
    ASSERT_EQ(bind_any(s, 0), 0);
    EXPECT_EQ(accept_socket(s), kInvalidSocket);
    EXPECT_EQ(last_socket_error(), 10022);  // WSAEINVAL
}

// Descriptor 0 is a socket like any other: a process started with standard input
// closed gets it for a connection or a new socket.
TEST_F(NetTest, DescriptorZeroIsASocketLikeAnyOther) {
    connect_client();
    const int saved = ::dup(0);
    ASSERT_GE(saved, 0);
    ::close(0);
    const Socket s = accept_one();
    EXPECT_EQ(s, Socket{0});
    close_socket(s);
    const Socket made = tcp_socket();
    EXPECT_EQ(made, Socket{0});
    close_socket(made);
    ::dup2(saved, 0);
    ::close(saved);
}

TEST_F(NetTest, TwoConnectsGiveOneAcceptEventEachReenabledByAccept) {
    connect_client();
    connect_client();
    const Event first = wait_event();
    EXPECT_EQ(first.event, kFdAccept);
    EXPECT_EQ(next_event(), nullptr);  // posted once, not again until accept
    EXPECT_NE(accept_socket(listener_), kInvalidSocket);
    EXPECT_EQ(wait_event().event, kFdAccept);  // the second is still pending
    EXPECT_NE(accept_socket(listener_), kInvalidSocket);
    EXPECT_EQ(next_event(), nullptr);
}

TEST_F(NetTest, ReadIsPostedOnceAndAgainAfterAPartialReceive) {
    const ClientSocket c = connect_client();
    const Socket s = accept_one();
    ASSERT_TRUE(client_send_all(c, "0123456789", 10));
    const Event read = wait_event();
    EXPECT_EQ(read.event, kFdRead);
    EXPECT_EQ(read.socket, s);  // accepted sockets inherit window, message and mask
    ASSERT_TRUE(client_send_all(c, "abc", 3));
    EXPECT_EQ(next_event(), nullptr);  // still posted: no second message
    char buffer[64];
    EXPECT_EQ(receive(s, buffer, 4), 4);
    EXPECT_EQ(wait_event().event, kFdRead);  // data remains: posted again
    EXPECT_EQ(receive(s, buffer, sizeof buffer), 9);  // the rest, and the bytes that came after it
    EXPECT_EQ(std::string(buffer, 9), "456789abc");
    EXPECT_EQ(next_event(), nullptr);
    EXPECT_EQ(receive(s, buffer, sizeof buffer), kSocketError);
    EXPECT_EQ(last_socket_error(), 10035);  // WSAEWOULDBLOCK
}

TEST_F(NetTest, GracefulCloseIsPostedOnceAfterTheDataIsRead) {
    const ClientSocket c = connect_client();
    const Socket s = accept_one();
    ASSERT_TRUE(client_send_all(c, "12345", 5));
    client_close(c);
    clients_.clear();
    char buffer[8];
    EXPECT_EQ(wait_event().event, kFdRead);
    EXPECT_EQ(receive(s, buffer, 3), 3);
    EXPECT_EQ(wait_event().event, kFdRead);
    EXPECT_EQ(receive(s, buffer, 3), 2);
    const Event close = wait_event();
    EXPECT_EQ(close.event, kFdClose);
    EXPECT_EQ(close.error, 0);
    EXPECT_EQ(receive(s, buffer, 3), 0);
    EXPECT_EQ(next_event(), nullptr);
}

TEST_F(NetTest, ResetIsAClosingWithAnErrorAndSendingAfterItDoesNotKill) {
    const ClientSocket c = connect_client();
    const Socket s = accept_one();
    client_close(c, true);
    clients_.clear();
    const Event close = wait_event();
    EXPECT_EQ(close.event, kFdClose);
    EXPECT_EQ(close.error, 10054);  // WSAECONNRESET
    EXPECT_EQ(send_bytes(s, "x", 1), kSocketError);
    EXPECT_EQ(next_event(), nullptr);
}

TEST_F(NetTest, MessagesQueuedBeforeCleanupAreDropped) {
    connect_client();
    pump();  // the accept is now queued, not yet delivered
    ASSERT_EQ(net_cleanup(), 0);
    EXPECT_EQ(next_event(), nullptr);
    EXPECT_EQ(accept_socket(listener_), kInvalidSocket);
    EXPECT_EQ(last_socket_error(), kErrNotInitialised);
    ASSERT_EQ(net_startup(), 0);  // for TearDown
}

// The tools' client tells the results apart: data, nothing in time, the end of the
// stream, and a connection reset.
TEST_F(NetTest, ClientReceiveResults) {
    const ClientSocket c = connect_client();
    const Socket s = accept_one();
    char buffer[8];
    EXPECT_EQ(client_receive(c, buffer, sizeof buffer, 10), kReceiveTimeout);
    ASSERT_EQ(send_bytes(s, "ab", 2), 2);
    EXPECT_EQ(client_receive(c, buffer, sizeof buffer, kTimeoutMs), 2);
    EXPECT_EQ(shutdown_both(s), 0);
    EXPECT_EQ(client_receive(c, buffer, sizeof buffer, kTimeoutMs), kReceiveClosed);
    const ClientSocket reset = connect_client();
    const Socket r = accept_one();
    const linger abort_on_close{1, 0};
    ::setsockopt(static_cast<int>(r), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    close_socket(r);
    EXPECT_EQ(client_receive(reset, buffer, sizeof buffer, kTimeoutMs), kReceiveError);
}

// Only the events of the mask are posted: here reads, and no close.
TEST_F(NetTest, AMaskOfReadsAlone) {
    const ClientSocket c = connect_client();
    const Socket s = accept_one();
    ASSERT_EQ(async_select(s, test_window(), kSocketMessage, kFdRead), 0);
    ASSERT_TRUE(client_send_all(c, "x", 1));
    EXPECT_EQ(wait_event().event, kFdRead);
    char buffer[8];
    EXPECT_EQ(receive(s, buffer, sizeof buffer), 1);
    client_close(c);
    clients_.clear();
    for (int i = 0; i < kTimeoutMs && receive(s, buffer, sizeof buffer) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // until the end of the stream is here
    }
    EXPECT_EQ(next_event(), nullptr);  // and no close event: it is not in the mask
}

// Injected failures of accept, receive and send: each gives its error, and the socket
// layer goes on: the failed accept took the connection and closed it, the next is taken.
TEST_F(NetTest, InjectedFailuresGiveTheirErrorsAndTheLayerGoesOn) {
    const ClientSocket refused = connect_client();
    ASSERT_EQ(wait_event().event, kFdAccept);
    fault_arm(Fault::Accept, 1, false);
    EXPECT_EQ(accept_socket(listener_), kInvalidSocket);
    EXPECT_EQ(last_socket_error(), kErrTooManySockets);
    char byte;
    const long closed = client_receive(refused, &byte, 1, kTimeoutMs);
    EXPECT_TRUE(closed == kReceiveClosed || closed == kReceiveError) << closed;  // closed, not left waiting
    fault_disarm();
    connect_client();
    const Socket s = accept_one();
    ASSERT_TRUE(client_send_all(clients_.back(), "abc", 3));
    ASSERT_EQ(wait_event().event, kFdRead);
    fault_arm(Fault::Recv, 1, false);
    char buffer[8];
    EXPECT_EQ(receive(s, buffer, sizeof buffer), kSocketError);
    EXPECT_EQ(last_socket_error(), 10054);
    fault_arm(Fault::Send, 1, false);
    EXPECT_EQ(send_bytes(s, "x", 1), kSocketError);
    EXPECT_EQ(send_bytes(s, "x", 1), 1);  // once only
    fault_disarm();
}

}  // namespace
}  // namespace qx::platform
