// A site's pieces without sockets: the booking journal (its line format, and durable
// appends to real files in a temporary directory, with the failures of writes, flushes and
// opens injected), bookings held for one group write, the bounded memory of bookings
// against a plain model, host lists, the status file, and the event log against a model.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <tuple>

#include "app/booking_memory.h"
#include "app/commit.h"
#include "app/event_log.h"
#include "app/journal.h"
#include "app/site_config.h"
#include "app/status.h"
#include "platform/faults.h"
#include "platform/files.h"
#include "support/journal_line.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"
#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace qx::app {
namespace {

using journal::journal_line;

constexpr char kReceived[] = "2026-12-07T12:18:32.125+01:00";
const journal::Origin kOrigin{"10.1.2.7:51234", 12};

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(JournalLineTest, FieldsLayoutAndBase64) {
    EXPECT_EQ(journal_line("regi,1,2,F1,240115,0875,12 \x1f\x7f\\5", kReceived),
              std::string("{\"received\":\"") + kReceived +
                  "\",\"card\":\"12 \\u001f\\u007f\\\\5\",\"fkey\":\"F1\",\"date\":\"240115\",\"time\":\"0875\","
                  "\"request\":\"regi,1,2,F1,240115,0875,12 \\u001f\\u007f\\\\5\"}\n");
    // Where it came from (read back: tests/e2e/server_test.py).
    const journal::Origin unknown{"10.1.2.7:51234", -1};
    EXPECT_EQ(journal_line("regi", kReceived, &unknown).substr(journal_line("regi", kReceived).size() - 2),
              ",\"peer\":\"10.1.2.7:51234\",\"terminal\":null}\n");
    // A field that is not UTF-8 goes as base64, so that no JSON reader takes its bytes for
    // other characters. (Lines read back: tests/e2e/journal_lines.tsv and fuzz_journal_line.)
    EXPECT_NE(journal_line("regi,,,\x80,", kReceived).find("\"fkey_base64\":\"gA==\""), std::string::npos);
    EXPECT_NE(journal_line("regi,,,,,,\xc3\xa9\xe9", kReceived).find("\"card_base64\":\"w6np\""), std::string::npos);
    EXPECT_NE(journal_line("\xc3\xa9", kReceived).find("\"request\":\"\xc3\xa9\""), std::string::npos);
}

#ifndef _WIN32  // the POSIX C library reads these zone rules from TZ
TEST(JournalLineTest, ReceivedTimeIsLocalWithItsOffset) {
    const char kCet[] = "CET-1CEST,M3.5.0,M10.5.0/3";
    const std::tuple<const char*, std::time_t, int, const char*> cases[] = {
        {"UTC0", 1783341296, 7, "2026-07-06T12:34:56.007+00:00"},  // 2026-07-06 12:34:56 UTC
        {kCet, 1783341296, 7, "2026-07-06T14:34:56.007+02:00"},
        {"<-0330>3:30", 1783341296, 7, "2026-07-06T09:04:56.007-03:30"},
        {"<+1245>-12:45", 1783341296, 7, "2026-07-07T01:19:56.007+12:45"},
        {kCet, 1782861000, 0, "2026-07-01T01:10:00.000+02:00"},    // 06-30 23:10 UTC: the next month
        {kCet, 1798759800, 999, "2027-01-01T00:30:00.999+01:00"},  // 12-31 23:30 UTC: the next year
        {kCet, 1769902200, 0, "2026-02-01T00:30:00.000+01:00"},    // 01-31 23:30 UTC: into February
        {kCet, 1772321400, 0, "2026-03-01T00:30:00.000+01:00"},    // 02-28 23:30 UTC: out of it
        {kCet, 951867000, 0, "2000-03-01T00:30:00.000+01:00"},     // out of a leap February, into a 400-year era
        {kCet, 4107540600, 0, "2100-03-01T00:30:00.000+01:00"},    // 2100 has no February 29
        {"<+003059>-0:30:59", 1783381200, 0, "2026-07-07T00:10:59.000+00:30"},  // seconds of an offset dropped
    };
    for (const auto& [zone, at, ms, text] : cases) {
        test::EnvGuard tz("TZ", zone);
        tzset();
        EXPECT_EQ(journal::received_time_text(at, ms), text) << zone;
    }
    tzset();
}
#endif

std::string line_of(const std::string& request) { return journal_line(request, kReceived, &kOrigin); }

class AppendTest : public ::testing::Test {
  protected:
    void TearDown() override {
        platform::fault_disarm();
        journal_close();
    }

    // Opens the journal (when it is not open) and stores `request` in a group of its own.
    bool store(const std::string& request, const std::string& path) {
        if (!journal_open(path.c_str(), &why_)) return false;
        journal_add(request, kReceived, kOrigin);
        return journal_write(&why_);
    }
    bool store(const std::string& request) { return store(request, path_); }

    test::TempDir dir_;
    std::string path_ = dir_.str() + "/bookings.jsonl";
    std::string why_;
};

TEST_F(AppendTest, TheEndOfTheFileIsMendedWhenItIsOpened) {
    const std::string line = line_of("regi,x");
    const std::pair<std::string, std::string> cases[] = {
        {line, line + line},                                         // whole: untouched
        {line + line.substr(0, 40), line + line},                    // its own cut line: cut off
        {"{\"rec", line},                                            // a cut line alone in the file
        {"notes without a line feed", "notes without a line feed\n" + line},  // other text: ended
        {line + "{\"other\":1}", line + "{\"other\":1}\n" + line},
        {std::string(20000, 'x'), std::string(20000, 'x') + "\n" + line},   // longer than any line
    };
    for (const auto& [before, after] : cases) {
        journal_close();
        dir_.write("bookings.jsonl", before);
        ASSERT_TRUE(store("regi,x")) << why_;
        EXPECT_EQ(read_all(path_), after) << before.substr(0, 60);
        EXPECT_EQ(journal_repeat("regi,x"), Repeat::Stored) << before.substr(0, 60);  // found where it went
    }
}

// A failed write, flush or open leaves the file as it was, and the next booking is
// stored again.
TEST_F(AppendTest, AFailedWriteFlushOrOpenLeavesTheFileAsItWas) {
    ASSERT_TRUE(store("regi,,,,,,1")) << why_;
    const std::string before = read_all(path_);
    EXPECT_EQ(before, line_of("regi,,,,,,1"));
    const std::pair<platform::Fault, const char*> cases[] = {
        {platform::Fault::Write, "cannot write "},
        {platform::Fault::Sync, "cannot flush "},
        {platform::Fault::Open, "cannot open "},        // these three when it is opened
        {platform::Fault::Stat, "cannot look at "},
        {platform::Fault::Read, "cannot mend the end of "},
    };
    for (const auto& [fault, step] : cases) {
        journal_close();
        ASSERT_TRUE(journal_open(path_.c_str(), &why_)) << why_;
        if (fault != platform::Fault::Write && fault != platform::Fault::Sync) journal_close();
        platform::fault_arm(fault, 1, false);
        EXPECT_FALSE(store("regi,,,,,,2"));
        EXPECT_EQ(why_.rfind(step + path_ + ": ", 0), 0u) << why_;
        EXPECT_EQ(read_all(path_), before);
        EXPECT_EQ(journal_repeat("regi,,,,,,2"), Repeat::No);  // not remembered either
        EXPECT_TRUE(store("regi,,,,,,3")) << why_;  // the next booking is stored again
        EXPECT_EQ(read_all(path_), before + line_of("regi,,,,,,3"));
        dir_.write("bookings.jsonl", before);
    }
#ifndef _WIN32  // a write the file size limit cuts after one byte, with errno left EINTR
                // before it: the byte is taken back and nothing is written twice
    journal_close();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit one_byte{static_cast<rlim_t>(before.size() + 1), limit.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &one_byte);
    errno = EINTR;
    EXPECT_FALSE(store("regi,,,,,,2"));
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(read_all(path_), before) << why_;
#endif
}

// The open file is the journal only while its path names it: a journal moved aside or
// removed gets the next group in a new file at the path, or in the file another put there,
// and the old file keeps its own.
TEST_F(AppendTest, AJournalMovedAsideOrRemovedIsStartedAfresh) {
    const std::string aside = dir_.str() + "/aside.jsonl";
    std::fclose(stdin);  // the journal is handle 0, the lowest free one
    enum { kMoved, kRemoved, kReplaced };
    for (const int how : {kMoved, kRemoved, kReplaced}) {
        ASSERT_TRUE(store("regi,,,,,,1")) << why_;
        std::filesystem::rename(path_, aside);
        if (how == kRemoved) std::filesystem::remove(aside);
        const std::string other = how == kReplaced ? line_of("regi,,,,,,9") : "";
        if (how == kReplaced) dir_.write("bookings.jsonl", other);
        ASSERT_TRUE(store("regi,,,,,,2")) << why_;
        EXPECT_EQ(read_all(path_), other + line_of("regi,,,,,,2"));
        EXPECT_EQ(read_all(aside), how == kRemoved ? "" : line_of("regi,,,,,,1"));
        EXPECT_EQ(journal_repeat("regi,,,,,,2"), Repeat::Stored);  // read back from the file
        journal_close();
        std::filesystem::remove(path_);
        std::filesystem::remove(aside);
    }
    EXPECT_EQ(platform::file_open(path_.c_str(), platform::FileAccess::AppendShared, 0600), 0);  // closed: free again
}

// Bookings with the card, function key, date and time of a line in the journal, written
// by this server or learnt when it opened the file, or waiting in the group.
TEST_F(AppendTest, RepeatsAreKnownFromTheFileAndTheGroup) {
    dir_.write("bookings.jsonl", line_of("regi,1,2,F1,240115,0830,7") + "not json\n" +
                                     line_of("registration,9,9,F1,240115,0830,8,more"));
    ASSERT_TRUE(journal_open(path_.c_str(), &why_)) << why_;
    journal_add("regi,1,2,F2,240115,0830,7", kReceived, kOrigin);
    const std::pair<const char*, Repeat> cases[] = {
        {"regi,1,2,F1,240115,0830,7", Repeat::Stored},  // learnt
        {"regi,5,5,F1,240115,0830,8", Repeat::Stored},  // the fields count, not the rest
        {"regi,1,2,F2,240115,0830,7", Repeat::Waiting},
        {"regi,1,2,F1,240115,0831,7", Repeat::No},
        {"regi,1,2,F1,240116,0830,7", Repeat::No},
        {"regi,1,2,F1,240115,0830,77", Repeat::No},
    };
    for (const auto& [request, repeat] : cases) EXPECT_EQ(journal_repeat(request), repeat) << request;
    ASSERT_TRUE(journal_write(&why_)) << why_;
    EXPECT_EQ(journal_repeat("regi,1,2,F2,240115,0830,7"), Repeat::Stored);
    journal_close();  // as a restart does
    ASSERT_TRUE(journal_open(path_.c_str(), &why_)) << why_;
    EXPECT_EQ(journal_repeat("regi,1,2,F2,240115,0830,7"), Repeat::Stored);
}

TEST_F(AppendTest, TheLastLinesAreLearnt) {  // the last kRememberedBookings, whole across reads of megabytes
    const auto booking = [](int card) { return "regi,1,2,F1,240115,0830," + std::to_string(card); };
    std::string lines;
    for (int card = 0; card < 8000; ++card) lines += line_of(booking(card));
    for (const int lost : {0, 1}) {  // card 0 on the oldest line remembered, then on the newest forgotten
        journal_close();
        const std::size_t blanks = kRememberedBookings - 8000 + lost;  // the cards' last feed first in a read of 1 MiB
        dir_.write("bookings.jsonl", lines + std::string((1 << 20) - 1 - blanks, 'x') + std::string(blanks, '\n'));
        ASSERT_TRUE(journal_open(path_.c_str(), &why_)) << why_;
        for (int n = 0; n < 8000; ++n) EXPECT_EQ(journal_repeat(booking(n)), n < lost ? Repeat::No : Repeat::Stored);
    }
}

TEST_F(AppendTest, PathsThatCannotBeAJournal) {
    // 255 bytes is a path; one more is not, on every platform.
    const std::string longest = dir_.str() + "/" + std::string(kMaxJournalPath - dir_.str().size() - 1, 'j');
    EXPECT_TRUE(store("regi", longest)) << why_;
    EXPECT_FALSE(store("regi", longest + "j"));
    EXPECT_EQ(why_, "the journal path is longer than 255 characters");
    EXPECT_FALSE(std::filesystem::exists(longest + "j"));
}

// A host list lets in the addresses of its blocks (lists that do not parse: the start
// failures of tests/e2e/protocol_cases.tsv).
TEST(HostListTest, AddressesAndBlocks) {
    const std::tuple<const char*, std::uint32_t, std::uint32_t> cases[] = {  // a list, an address in, one out
        {"10.1.2.0/24,10.1.3.7", 0x0A010203, 0x0A010303},
        {" 10.1.2.7 , 192.168.0.0/16 ", 0xC0A8FFFF, 0x0A010208},
        {"10.1.2.5/24", 0x0A0102FF, 0x0A010300},  // the host bits are not looked at
        {"0.0.0.0/0", 0xFFFFFFFF, 0},             // every address, asked for
        {"255.255.255.255/32", 0xFFFFFFFF, 0xFFFFFFFE},
    };
    for (const auto& [list, in, out] : cases) {
        SiteSettings settings;
        std::string bad;
        ASSERT_TRUE(parse_host_list(list, &settings.hosts, &bad)) << list;
        EXPECT_TRUE(host_allowed(settings, in)) << list;
        EXPECT_EQ(host_allowed(settings, out), out == 0) << list;  // (0 is let in by /0 alone)
    }
    EXPECT_TRUE(host_allowed(SiteSettings{}, 0x01020304));  // no list: every address
}

// The memory against a plain model: the last `capacity` entries, found by key and told
// apart by the caller; entries dropped from the newest end. Keys collide on purpose.
TEST(BookingMemoryTest, KeepsTheLastEntriesLikeAPlainList) {
    constexpr std::size_t kCapacity = 1024;  // past the first index size, so it grows, and must before it is full
    BookingMemory memory(kCapacity);
    std::deque<std::pair<std::uint64_t, std::uint64_t>> model;  // key, where
    std::mt19937_64 random(7);
    for (std::uint64_t where = 1; where < 20000; ++where) {
        const std::uint64_t key = 1600 + random() % 900;  // homes on both sides of the index's end
        if (random() % 10 == 0) {
            const std::size_t count = random() % 4;
            memory.drop_recent(count);
            model.erase(model.end() - static_cast<long>(std::min(count, model.size())), model.end());
        } else {
            memory.add(key, where);
            model.emplace_back(key, where);
            if (model.size() > kCapacity) model.pop_front();
        }
        if (where % 7 == 0 && !model.empty()) {  // move the newest, as a written group does
            memory.move_recent(0, where + 1000000);
            model.back().second = where + 1000000;
        }
        ASSERT_EQ(memory.size(), model.size());
        const std::uint64_t probe = 1600 + random() % 900;
        std::multiset<std::uint64_t> found, expected;
        memory.find(probe, [&](std::uint64_t w) { return found.insert(w), false; });
        for (const auto& [k, w] : model) {
            if (k == probe) expected.insert(w);
        }
        ASSERT_EQ(found, expected) << "after " << where;
    }
    EXPECT_NE(BookingMemory::key("1", "F1", "240115", "0830"), BookingMemory::key("1", "F1", "240115", "0831"));
    EXPECT_NE(BookingMemory::key("1,F1", "", "240115", "0830"), BookingMemory::key("1", "F1", "240115", "0830"));
}

// Entries of the log, without their CR LF.
std::vector<std::string> entries() {
    const std::vector<std::string_view> views = log_entries();
    return {views.begin(), views.end()};
}

// Bookings of several connections are held, written with one write, then logged and
// answered in order; a repeat is answered without a line; a closed connection's
// booking is stored all the same.
TEST(CommitTest, HeldBookingsAreWrittenTogetherThenLoggedInOrder) {
    test::TempDir dir;
    const std::string path = dir.str() + "/bookings.jsonl";
    test::EnvGuard journal("QX_BOOKINGS", path.c_str());
    log_reset(nullptr);
    Connection* c[3];
    for (int i = 0; i < 3; ++i) c[i] = &connection_add(9000 + i, {0x7F000001, static_cast<std::uint16_t>(40000 + i)});
    const unsigned long writes = journal_writes();
    const auto clock = [] {  // the time now as the journal writes it
        const auto ms = std::chrono::system_clock::now().time_since_epoch() / std::chrono::milliseconds(1);
        return journal::received_time_text(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000)); };
    const std::string before = clock();
    take_booking(*c[0], "regi,1,2,F1,240115,0830,1");
    const std::string after = clock();
    take_booking(*c[1], "regi,1,2,F1,240115,0830,2");
    take_booking(*c[2], "regi,1,2,F1,240115,0830,1");  // a repeat of one waiting
    send_reply(*c[0], "after");                         // waits behind the held reply
    EXPECT_EQ(c[0]->pending.size(), 2u);
    connection_close(*c[1], false);
    EXPECT_EQ(entries(), std::vector<std::string>{});  // nothing before the flush
    commit_flush();
    EXPECT_EQ(journal_writes(), writes + 1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"Card: 1 at 08:30 on 15-01-2024 (Fkey: F1)",
                                                       "Card: 2 at 08:30 on 15-01-2024 (Fkey: F1)",
                                                       std::string("Card: 1 at 08:30 on 15-01-2024 (Fkey: F1)") +
                                                           kRepeatMark}));
    const std::string lines = read_all(path);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2);
    const std::string received = lines.substr(lines.find(':') + 2, before.size());  // the milliseconds too
    EXPECT_TRUE(before <= received && received <= after) << before << " " << received << " " << after;
    EXPECT_TRUE(c[0]->pending.empty());
    EXPECT_EQ(std::make_pair(c[0]->bookings_today, c[2]->bookings_today), std::make_pair(1L, 1L));
    for (Connection* open : {c[0], c[2]}) connection_close(*open, false);
    journal_close();
}

// A booking that cannot be stored is logged with its card and why, and not answered:
// when the journal cannot be opened, and when its group cannot be written.
TEST(CommitTest, ABookingNotStoredIsLoggedAndNotAnswered) {
    test::TempDir dir;
    log_reset(nullptr);
    Connection& c = connection_add(9100, {0x7F000001, 40100});
    for (const std::string& path : {dir.str(), dir.str() + "/bookings.jsonl"}) {
        test::EnvGuard journal("QX_BOOKINGS", path.c_str());
        platform::fault_arm(platform::Fault::Write, 1, false);
        take_booking(c, "regi,1,2,F1,240115,0875,42");
        commit_flush();
        platform::fault_disarm();
        const std::string why = path == dir.str() ? "cannot open " : "cannot write ";
        EXPECT_EQ(entries().back().rfind("Booking of card 42 not stored (no reply): " + why + path + ": ", 0), 0u);
    }
    EXPECT_EQ(entries().size(), 2u);
    EXPECT_TRUE(c.pending.empty());
    EXPECT_EQ(c.bookings_today, 0);
    connection_close(c, false);
    journal_close();
}

// A status file that cannot be written is logged once, until it is written again (what
// it shows: tests/e2e/server_test.py).
TEST(StatusTest, AFailedWriteIsLoggedOnce) {
    test::TempDir dir;
    const std::string folder = dir.str() + "/status";
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/status.json";
    std::string error;
    ASSERT_TRUE(status_file_start(path, &error)) << error;
    log_reset(nullptr);
    const auto tick = [] { status_changed(), status_tick(); };
    std::filesystem::remove_all(folder);
    tick();
    tick();
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_EQ(entries()[0].rfind("Status file " + path + " not written: ", 0), 0u) << log_text();
    std::filesystem::create_directory(folder);
    tick();
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove_all(folder);
    tick();
    EXPECT_EQ(entries().size(), 2u);  // failing again after a write: logged again
    Connection& c = connection_add(9200, {0x7F000001, 40200});  // never heard from, no booking
    EXPECT_NE(status_text().find(",\"last_request\":null,\"bookings_today\":0}"), std::string::npos) << status_text();
    connection_close(c, false);
}

// The event log against the plainest model of its rules: the last 14 entries, within
// 10000 bytes.
// Adds `text` to the `model` log, as an entry (with CR LF) when `crlf`, else as a line.
void model_add(std::string* model, std::string text, bool crlf) {
    const std::size_t tail = crlf ? 2 : 0;
    if (text.size() + tail >= 10000) text.resize(10000 - 1 - tail);
    while (!model->empty() && model->size() + text.size() + tail >= 10000) {
        const std::size_t feed = model->find('\n');
        model->erase(0, feed == std::string::npos ? model->size() : feed + 1);
    }
    *model += text + (crlf ? "\r\n" : "");
    int feeds = 0;
    for (std::size_t p = model->size(); p >= 1; --p) {
        if ((*model)[p] == '\n' && ++feeds == 15) {
            model->erase(0, p + 1);
            break;
        }
    }
}

// A long run of entries of every size: first the log's edges (9999 bytes fit, 10000 do
// not), then any size up to larger than the log, with line feeds anywhere (inside entries,
// and at the very first byte, which the trim does not count) and NULs (which end a text),
// added as entries up to a limit (past the end, to it, before it, none) and as lines.
TEST(EventLogTest, ARunOfAnyEntriesMatchesTheModel) {
    log_reset(nullptr);
    std::string model;
    std::mt19937 random(7);
    const std::size_t kEdges[] = {9997, 0, 9998, 4998, 4997, 4998, 4998};
    const std::size_t kSizes[] = {0, 1, 2, 30, 120, 1024, 3000, 9997, 9998, 12000};
    for (std::size_t step = 0; step < 3000; ++step) {
        const bool edge = step < std::size(kEdges);
        std::string text(edge ? kEdges[step] : kSizes[random() % 10] + random() % 3, 'x');
        for (char& c : text) c = edge ? 'x' : "ab\n\r"[random() % 4 == 0 ? random() % 4 : 0];
        if (!edge && random() % 8 == 0 && !text.empty()) text[random() % text.size()] = '\0';
        const long limit = static_cast<long>(text.size()) + 1 - (edge ? 1 : static_cast<long>(random() % 3));
        if (edge || random() % 4 != 0) {
            log_add_entry(text.c_str(), limit);
            model_add(&model, text.substr(0, std::min(static_cast<std::size_t>(std::max(limit, 0L)), text.find('\0'))), true);
        } else {
            log_add_line(text.c_str());
            model_add(&model, text.substr(0, text.find('\0')), false);
        }
        ASSERT_EQ(log_text(), model) << "step " << step;
    }
    log_reset(nullptr);  // again, after entries: empty, and the next entry alone
    EXPECT_EQ(log_text(), std::string());
    log_add_entry("x", 1);
    EXPECT_EQ(entries(), std::vector<std::string>{"x"}) << log_text();
}

}  // namespace
}  // namespace qx::app
