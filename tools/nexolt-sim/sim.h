// nexolt-sim, a stand-in for the Nexolt terminal: builds the terminal's requests, sends
// them on one connection and reads the server's replies, one JSON object each (the
// server sends no terminator, so a reply ends where its outermost object closes).
// Owns nothing process-wide.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/tcp_client.h"

namespace qx::sim {

// Where the server is and how long to wait for it.
struct Options {
    std::string host = "127.0.0.1";
    std::uint16_t port = 3950;
    int timeout_ms = 2000;  // for connecting and for each reply
};

// Request texts as the terminal sends them.
std::string keep_alive_request();
std::string absence_reasons_request();
std::string terminal_number_request(const std::string& number);
// A booking: function key, date as YYMMDD, time as HHMM, card. Empty date or time mean now.
std::string booking_request(const std::string& card, const std::string& function_key, const std::string& date,
                            const std::string& time);

// Splits a byte stream into replies: each a whole JSON object, braces inside strings
// not counted. Bytes before an object's "{" are dropped.
class ReplyFramer {
  public:
    void feed(const char* data, std::size_t length);
    // Takes the next whole reply into *reply; false when none is complete yet.
    bool next(std::string* reply);

  private:
    std::string pending_;
};

// One connection to the server.
class Session {
  public:
    explicit Session(const Options& options) : options_(options) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Connects; false (and a message in error()) on failure.
    bool open();
    // Sends `request` and waits for one reply; false on timeout or a closed connection,
    // with the reason in error().
    bool exchange(const std::string& request, std::string* reply);
    const std::string& error() const { return error_; }

  private:
    Options options_;
    platform::ClientSocket socket_ = platform::kNoClient;
    ReplyFramer framer_;
    std::string error_;
};

// One command of the command line or of a script line: its words, the command first.
// Returns the process exit status (0 success, 1 no reply or no connection, 2 usage)
// and writes replies to `out`, problems to `err`.
int run_words(const Options& options, const std::vector<std::string>& words, std::ostream& out,
              std::ostream& err);

// The usage text.
std::string usage_text();

}  // namespace qx::sim
