// The booking journal: its line format, and durable appends to real files in a temporary
// directory, with the failures of writes, flushes and opens injected.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

#include "app/journal.h"
#include "platform/faults.h"
#include "support/journal_line.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"

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
    EXPECT_EQ(journal_line("regi,1,2,F1,240115,0875,12345", kReceived),
              std::string("{\"received\":\"") + kReceived +
                  "\",\"card\":\"12345\",\"fkey\":\"F1\",\"date\":\"240115\",\"time\":\"0875\","
                  "\"request\":\"regi,1,2,F1,240115,0875,12345\"}\n");
    // Where it came from (read back: tests/e2e/journal_test.py).
    const journal::Origin unknown{"10.1.2.7:51234", -1};
    EXPECT_EQ(journal_line("regi", kReceived, &unknown).substr(journal_line("regi", kReceived).size() - 2),
              ",\"peer\":\"10.1.2.7:51234\",\"terminal\":null}\n");
    // A field that is not UTF-8 goes as base64, so that no JSON reader takes its bytes for
    // other characters. (Lines read back: tests/e2e/journal_lines.tsv and fuzz_journal_line.)
    EXPECT_NE(journal_line("\xe9", kReceived).find("\"request_base64\":\"6Q==\""), std::string::npos);
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
}

// The open file is the journal only while its path names it: a journal moved aside or
// removed gets the next group in a new file at the path, and the old file keeps its own.
TEST_F(AppendTest, AJournalMovedAsideOrRemovedIsStartedAfresh) {
    const std::string aside = dir_.str() + "/aside.jsonl";
    for (const bool remove : {false, true}) {
        ASSERT_TRUE(store("regi,,,,,,1")) << why_;
        std::filesystem::rename(path_, aside);
        if (remove) std::filesystem::remove(aside);
        ASSERT_TRUE(store("regi,,,,,,2")) << why_;
        EXPECT_EQ(read_all(path_), line_of("regi,,,,,,2"));
        EXPECT_EQ(read_all(aside), remove ? "" : line_of("regi,,,,,,1"));
        EXPECT_EQ(journal_repeat("regi,,,,,,2"), Repeat::Stored);  // read back from the file
        journal_close();
        std::filesystem::remove(path_);
        std::filesystem::remove(aside);
    }
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

TEST_F(AppendTest, PathsThatCannotBeAJournal) {
    // 255 bytes is a path; one more is not, on every platform.
    std::string longest = dir_.str() + "/";
    longest += std::string(kMaxJournalPath - longest.size(), 'j');
    EXPECT_TRUE(store("regi", longest)) << why_;
    EXPECT_FALSE(store("regi", longest + "j"));
    EXPECT_EQ(why_, "the journal path is longer than 255 characters");
    EXPECT_FALSE(std::filesystem::exists(longest + "j"));
}

}  // namespace
}  // namespace qx::app
