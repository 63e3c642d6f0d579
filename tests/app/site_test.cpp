// A site's pieces without sockets: host lists, the bounded memory of bookings against a
// plain model, and bookings held for one group write.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <iterator>
#include <string>

#include "app/booking_memory.h"
#include "app/commit.h"
#include "app/event_log.h"
#include "app/journal.h"
#include "app/site_config.h"
#include "app/status.h"
#include "platform/faults.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"

namespace qx::app {
namespace {

// A host list lets in the addresses of its blocks (lists that do not parse: the start
// failures of tests/e2e/protocol_cases.tsv).
TEST(HostListTest, AddressesAndBlocks) {
    const struct {
        const char* list;
        std::uint32_t in, out;  // an address let in, one kept out
    } cases[] = {
        {"10.1.2.0/24,10.1.3.7", 0x0A010203, 0x0A010303},
        {" 10.1.2.7 , 192.168.0.0/16 ", 0xC0A8FFFF, 0x0A010208},
        {"10.1.2.5/24", 0x0A0102FF, 0x0A010300},  // the host bits are not looked at
        {"0.0.0.0/0", 0xFFFFFFFF, 0},             // every address, asked for
        {"255.255.255.255/32", 0xFFFFFFFF, 0xFFFFFFFE},
    };
    for (const auto& c : cases) {
        SiteSettings settings;
        std::string bad;
        ASSERT_TRUE(parse_host_list(c.list, &settings.hosts, &bad)) << c.list;
        EXPECT_TRUE(host_allowed(settings, c.in)) << c.list;
        EXPECT_EQ(host_allowed(settings, c.out), c.out == 0) << c.list;  // (0 is let in by /0 alone)
    }
    EXPECT_TRUE(host_allowed(SiteSettings{}, 0x01020304));  // no list: every address
}

// The memory against a plain model: the last `capacity` entries, found by key and told
// apart by the caller; entries dropped from the newest end. Keys collide on purpose.
TEST(BookingMemoryTest, KeepsTheLastEntriesLikeAPlainList) {
    constexpr std::size_t kCapacity = 700;  // past the first index size, so it grows
    BookingMemory memory(kCapacity);
    std::deque<std::pair<std::uint64_t, std::uint64_t>> model;  // key, where
    std::mt19937_64 random(7);
    for (std::uint64_t where = 1; where < 20000; ++where) {
        const std::uint64_t key = random() % 900;
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
        const std::uint64_t probe = random() % 900;
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
    take_booking(*c[0], "regi,1,2,F1,240115,0830,1");
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
    std::ifstream lines(path, std::ios::binary);
    EXPECT_EQ(std::count(std::istreambuf_iterator<char>(lines), {}, '\n'), 2);
    EXPECT_TRUE(c[0]->pending.empty());
    EXPECT_EQ(c[0]->bookings_today, 1);
    EXPECT_EQ(c[2]->bookings_today, 1);
    connection_close(*c[0], false);
    connection_close(*c[2], false);
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
    const auto tick = [] {
        status_changed();
        status_tick();
    };
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
}

}  // namespace
}  // namespace qx::app
