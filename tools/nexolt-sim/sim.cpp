// The terminal stand-in: requests, reply framing, the connection and the commands.
#include "tools/nexolt-sim/sim.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <ostream>
#include <thread>

#include "support/line_escape.h"

namespace qx::sim {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitNoReply = 1;
constexpr int kExitUsage = 2;
constexpr char kSeeHelp[] = "; see nexolt-sim --help\n";  // ends every usage error
constexpr std::size_t kReceiveChunk = 4096;

using Clock = std::chrono::steady_clock;

// The local date (YYMMDD) or time (HHMM) of now, as the terminal's clock shows it.
std::string now_text(const char* format) {
    const std::time_t now = std::time(nullptr);
    char text[16];
    std::strftime(text, sizeof text, format, std::localtime(&now));
    return text;
}

bool parse_number(const std::string& text, long long low, long long high, long long* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size() && *value >= low && *value <= high;
}

// Splits a script line into words at blanks; "double quotes" keep blanks in a word.
std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size()) break;
        std::string word;
        if (line[i] == '"') {
            const std::size_t close = line.find('"', i + 1);
            word = line.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
            i = close == std::string::npos ? line.size() : close + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
        }
        words.push_back(word);
    }
    return words;
}

// The request a command stands for, or false for a usage error (message in *problem).
bool request_of(const std::vector<std::string>& w, std::string* request, std::string* problem) {
    const std::string& c = w[0];
    const std::size_t args = w.size() - 1;
    std::string raw;
    if (c == "alive" && args == 0) {
        *request = keep_alive_request();
    } else if (c == "grund" && args == 0) {
        *request = absence_reasons_request();
    } else if (c == "termnr" && args <= 1) {
        *request = terminal_number_request(args == 1 ? w[1] : "1");
    } else if (c == "book" && args >= 1 && args <= 4) {
        *request = booking_request(w[1], args >= 2 ? w[2] : "F1", args >= 3 ? w[3] : "", args >= 4 ? w[4] : "");
    } else if (c == "raw" && args == 1 && text::unescape(w[1], &raw) && !raw.empty()) {
        *request = raw;
    } else {
        *problem = "cannot run '" + c + "' with " + std::to_string(args) + " argument(s)";
        return false;
    }
    return true;
}

// Opens `session`, telling `err` why when it cannot.
bool open_session(Session& session, std::ostream& err) {
    if (session.open()) return true;
    err << "nexolt-sim: " << session.error() << "\n";
    return false;
}

int run_one(Session& session, const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    std::string request;
    std::string problem;
    if (!request_of(words, &request, &problem)) {
        err << "nexolt-sim: " << problem << kSeeHelp;
        return kExitUsage;
    }
    std::string reply;
    if (!session.exchange(request, &reply)) {
        err << "nexolt-sim: " << words[0] << ": " << session.error() << "\n";
        return kExitNoReply;
    }
    out << reply << "\n";
    return kExitOk;
}

int run_script(const Options& options, const std::string& path, std::ostream& out, std::ostream& err) {
    std::ifstream file(path);
    if (!file) {
        err << "nexolt-sim: cannot read script " << path << "\n";
        return kExitUsage;
    }
    Session session(options);
    if (!open_session(session, err)) return kExitNoReply;
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> words = split_words(line);
        if (words.empty() || words[0][0] == '#') continue;
        long long ms = 0;
        if (words[0] == "pause" && words.size() == 2 && parse_number(words[1], 0, 3600000, &ms)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));  // the script asks for it
            continue;
        }
        const int status = run_one(session, words, out, err);
        if (status != kExitOk) {
            err << "nexolt-sim: stopped at line " << number << " of " << path << "\n";
            return status;
        }
    }
    return kExitOk;
}

int run_load(const Options& options, const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    long long count = 0;
    std::string request;
    std::string problem;
    // Bookings of load runs are of cards 1, 2, 3 ... (so a journal stores each, none a
    // repeat of another); every other kind takes no arguments.
    const bool bookings = words.size() == 3 && words[1] == "book";
    const std::vector<std::string> kind = bookings ? std::vector<std::string>{"book", ""}
                                                   : std::vector<std::string>{words.size() > 1 ? words[1] : ""};
    if (words.size() != 3 || !parse_number(words[2], 1, 100000000, &count) || kind[0] == "raw" ||
        !request_of(kind, &request, &problem)) {
        err << "nexolt-sim: load KIND N, with KIND alive, book, grund or termnr and N from 1" << kSeeHelp;
        return kExitUsage;
    }
    Session session(options);
    if (!open_session(session, err)) return kExitNoReply;
    std::vector<double> latencies_us;
    latencies_us.reserve(static_cast<std::size_t>(count));
    std::string reply;
    const Clock::time_point start = Clock::now();
    const std::size_t card_at = request.size();  // the card is the last field
    for (long long i = 0; i < count; ++i) {
        if (bookings) request.replace(card_at, std::string::npos, std::to_string(i + 1));
        const Clock::time_point sent = Clock::now();
        if (!session.exchange(request, &reply)) {
            err << "nexolt-sim: request " << i + 1 << " of " << count << ": " << session.error() << "\n";
            return kExitNoReply;
        }
        latencies_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::sort(latencies_us.begin(), latencies_us.end());
    auto percentile = [&](double p) {
        return latencies_us[static_cast<std::size_t>(p * static_cast<double>(latencies_us.size() - 1))];
    };
    char summary[256];
    std::snprintf(summary, sizeof summary,
                  "%lld %s requests in %.3f s: %.0f requests/s; latency us p50 %.0f p90 %.0f p99 %.0f max %.0f",
                  count, words[1].c_str(), seconds, static_cast<double>(count) / seconds, percentile(0.5),
                  percentile(0.9), percentile(0.99), latencies_us.back());
    out << summary << "\n";
    return kExitOk;
}

}  // namespace

std::string keep_alive_request() { return "get_alive,"; }
std::string absence_reasons_request() { return "get_grund,"; }
std::string terminal_number_request(const std::string& number) { return "snd_termnr," + number; }

std::string booking_request(const std::string& card, const std::string& function_key, const std::string& date,
                            const std::string& time) {
    return "regi,1,0," + function_key + "," + (date.empty() ? now_text("%y%m%d") : date) + "," +
           (time.empty() ? now_text("%H%M") : time) + "," + card;
}

void ReplyFramer::feed(const char* data, std::size_t length) { pending_.append(data, length); }

bool ReplyFramer::next(std::string* reply) {
    const std::size_t open = pending_.find('{');
    if (open == std::string::npos) {
        pending_.clear();
        return false;
    }
    int depth = 0;
    bool in_string = false;
    for (std::size_t i = open; i < pending_.size(); ++i) {
        const char c = pending_[i];
        if (in_string) {
            if (c == '\\') ++i;
            else if (c == '"') in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && --depth == 0) {
            *reply = pending_.substr(open, i + 1 - open);
            pending_.erase(0, i + 1);
            return true;
        }
    }
    return false;
}

Session::~Session() { platform::client_close(socket_); }

bool Session::open() {
    socket_ = platform::client_connect(options_.host.c_str(), options_.port, options_.timeout_ms);
    if (socket_ == platform::kNoClient) {
        error_ = "cannot connect to " + options_.host + ":" + std::to_string(options_.port);
        return false;
    }
    return true;
}

bool Session::exchange(const std::string& request, std::string* reply) {
    if (!platform::client_send_all(socket_, request.data(), request.size())) {
        error_ = "the connection failed while sending";
        return false;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(options_.timeout_ms);
    char chunk[kReceiveChunk];
    while (!framer_.next(reply)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const long n = left > 0 ? platform::client_receive(socket_, chunk, sizeof chunk, static_cast<int>(left))
                                : platform::kReceiveTimeout;
        if (n == platform::kReceiveTimeout) {
            error_ = "no reply within " + std::to_string(options_.timeout_ms) + " ms";
            return false;
        }
        if (n <= 0) {
            error_ = "the server closed the connection";
            return false;
        }
        framer_.feed(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

int run_words(const Options& options, const std::vector<std::string>& words, std::ostream& out,
              std::ostream& err) {
    if (words.empty()) {
        err << "nexolt-sim: no command" << kSeeHelp;
        return kExitUsage;
    }
    if (words[0] == "script") {
        if (words.size() != 2) {
            err << "nexolt-sim: script FILE" << kSeeHelp;
            return kExitUsage;
        }
        return run_script(options, words[1], out, err);
    }
    if (words[0] == "load") return run_load(options, words, out, err);
    std::string request;
    std::string problem;
    if (!request_of(words, &request, &problem)) {  // usage errors before connecting
        err << "nexolt-sim: " << problem << kSeeHelp;
        return kExitUsage;
    }
    Session session(options);
    if (!open_session(session, err)) return kExitNoReply;
    return run_one(session, words, out, err);
}

std::string usage_text() {
    return "usage: nexolt-sim [--host H] [--port P] [--timeout MS] COMMAND\n"
           "       nexolt-sim --help | --version\n"
           "Plays the Nexolt terminal against the server and prints each reply on a line.\n"
           "  alive                          keep-alive request\n"
           "  book CARD [FKEY [DATE [TIME]]] booking; FKEY F1, DATE YYMMDD and TIME HHMM of now by default\n"
           "  grund                          absence-reason request\n"
           "  termnr [NUMBER]                terminal-number report (NUMBER 1 by default)\n"
           "  raw TEXT                       any request; \\\\ \\t \\n \\r in TEXT are escapes\n"
           "  script FILE                    one command per line on one connection; 'pause MS'\n"
           "                                 waits, '#' starts a comment, \"quotes\" keep blanks\n"
           "  load KIND N                    N requests of KIND (alive, book, grund, termnr) on one\n"
           "                                 connection; prints requests per second and latencies\n"
           "                                 (bookings of cards 1, 2, 3 ...)\n"
           "Options: --host H (127.0.0.1), --port P (3950), --timeout MS to connect and for each reply (2000).\n"
           "Exit status: 0 replied, 1 no reply in time or no connection, 2 usage error.\n";
}

}  // namespace qx::sim
