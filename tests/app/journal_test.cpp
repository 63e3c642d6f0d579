// The booking journal: its line format read back exactly, and durable appends to real
// files in a temporary directory, with the write and flush failures injected.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/event_log.h"
#include "app/journal.h"
#include "platform/faults.h"
#include "support/journal_line.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"

namespace qx::app {
namespace {

using journal::Booking;
using journal::journal_line;
using journal::read_journal_line;

constexpr char kReceived[] = "2026-12-07T12:18:32.125+01:00";

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

Booking read_back(const std::string& line) {
    Booking booking;
    std::string problem;
    EXPECT_TRUE(read_journal_line(line.substr(0, line.size() - 1), &booking, &problem)) << problem << ": " << line;
    return booking;
}

TEST(JournalLineTest, FieldsAndLayout) {
    EXPECT_EQ(journal_line("regi,1,2,F1,240115,0875,12345", kReceived),
              std::string("{\"received\":\"") + kReceived +
                  "\",\"card\":\"12345\",\"fkey\":\"F1\",\"date\":\"240115\",\"time\":\"0875\","
                  "\"request\":\"regi,1,2,F1,240115,0875,12345\"}\n");
    EXPECT_EQ(journal::request_field("regi,1,2", 1), "regi");
    const Booking short_one = read_back(journal_line("regi,1,2,F1", kReceived));
    EXPECT_EQ(short_one.fkey, "F1");
    EXPECT_EQ(short_one.card, "");  // missing fields are empty
    EXPECT_EQ(short_one.date, "");
}

// (That any bytes come back exactly, in one line: fuzz_journal_line and its corpus.)
// A field that is not UTF-8 goes as base64, so that no JSON reader takes its bytes for
// other characters; lines of the older form, with \u0080-\u00ff for such bytes, still read.
TEST(JournalLineTest, AFieldThatIsNotUtf8IsBase64AndUtf8IsNot) {
    EXPECT_NE(journal_line("\xe9", kReceived).find("\"request_base64\":\"6Q==\""), std::string::npos);
    EXPECT_NE(journal_line("regi,,,,,,\xc3\xa9\xe9", kReceived).find("\"card_base64\":\"w6np\""), std::string::npos);
    EXPECT_NE(journal_line("\xc3\xa9", kReceived).find("\"request\":\"\xc3\xa9\""), std::string::npos);
    const Booking old = read_back(
        "{\"received\":\"t\",\"card\":\"\xc3\xa9\\u00e9\",\"fkey\":\"\",\"date\":\"\",\"time\":\"\","
        "\"request\":\"regi,,,,,,\xc3\xa9\\u00e9\"}\n");
    EXPECT_EQ(old.card, "\xc3\xa9\xe9");
}

TEST(JournalLineTest, WhatIsNotAJournalLine) {
    const std::string good = "\"received\":\"t\",\"card\":\"7\",\"fkey\":\"F\",\"date\":\"d\",\"time\":\"h\",";
    const std::pair<std::string, const char*> cases[] = {
        {"", "not a JSON object"},
        {"[]", "not a JSON object"},
        {"{" + good + "\"request\":\"regi,,,F,d,h,7\"", "',' or '}' was expected"},
        {"{" + good + "\"request\":\"regi,,,F,d,h,7\"} x", "text after the object"},
        {"{" + good + "\"request\":\"regi,,,F,d,h,7", "a string without its end"},
        {"{" + good + "\"request\":\"regi,,,F,d,h,8\"}", "its fields are not those of its request"},
        {"{" + good + "\"request\":\"regi,,,F,d,h,7\\u0000\"}", "the request holds a NUL"},
        {"{" + good + "\"card\":\"7\",\"request\":\"regi,,,F,d,h,7\"}", "\"card\" is given twice"},
        {"{\"received\":\"t\",\"request\":\"regi\"}", "\"card\" is missing"},
        {"{" + good + "\"request\":\"a\tb\"}", "a control byte inside a string"},
        {"{" + good + "\"request\":\"\xe9\"}", "bytes that are not UTF-8"},
        {"{" + good + "\"request\":\"\\x41\"}", "an unknown escape"},
        {"{" + good + "\"request\":\"\\u12G4\"}", "\\u without four hex digits"},
        {"{" + good + "\"request\":\"\\ud800\"}", "a lone surrogate"},
        {"{" + good + "\"request\":\"\\ud800\\u0041\"}", "a lone surrogate"},
        {"{" + good + "\"request\":\"\\udc00\"}", "a lone surrogate"},
        {"{" + good + "\"request\" \"x\"}", "':' was expected"},
        {"{" + good + "\"request\":7}", "a string was expected"},
        {"{" + good + "\"request_base64\":\"cmVnaQ=\"}", "\"request_base64\" is not base64"},
        {"{" + good + "\"request_base64\":\"cm=naQ==\"}", "\"request_base64\" is not base64"},
        {"{" + good + "\"request\":\"regi,,,F,d,h,7\",\"request_base64\":\"\"}", "\"request\" is given twice"},
    };
    for (const auto& [line, why] : cases) {
        Booking booking;
        std::string problem;
        EXPECT_FALSE(read_journal_line(line, &booking, &problem)) << line;
        EXPECT_EQ(problem, why) << line;
    }
    // What a general JSON writer may write instead: blanks, other escapes, surrogate
    // pairs, keys of its own.
    Booking booking;
    std::string problem;
    EXPECT_TRUE(read_journal_line(" { \"extra\" : \"x\", " + good +
                                      "\"request\" : \"\\/\\n\\uD83D\\uDE00\\u20AC\\u07ff\\u0800regi,,,F,d,h,7\" } ",
                                  &booking, &problem))
        << problem;
    EXPECT_EQ(booking.request, "/\n\xf0\x9f\x98\x80\xe2\x82\xac\xdf\xbf\xe0\xa0\x80regi,,,F,d,h,7");
}

#ifndef _WIN32  // the POSIX C library reads these zone rules from TZ
TEST(JournalLineTest, ReceivedTimeIsLocalWithItsOffset) {
    const std::time_t summer = 1783341296;  // 2026-07-06 12:34:56 UTC
    const std::pair<const char*, const char*> cases[] = {
        {"UTC0", "2026-07-06T12:34:56.007+00:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", "2026-07-06T14:34:56.007+02:00"},
        {"<-0330>3:30", "2026-07-06T09:04:56.007-03:30"},
        {"<+1245>-12:45", "2026-07-07T01:19:56.007+12:45"},
    };
    for (const auto& [zone, text] : cases) {
        test::EnvGuard tz("TZ", zone);
        tzset();
        EXPECT_EQ(journal::received_time_text(summer, 7), text) << zone;
    }
    // Local time in the next month or year than UTC.
    test::EnvGuard cet("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
    EXPECT_EQ(journal::received_time_text(1782861000, 0), "2026-07-01T01:10:00.000+02:00");  // 2026-06-30 23:10 UTC
    EXPECT_EQ(journal::received_time_text(1798759800, 999), "2027-01-01T00:30:00.999+01:00");  // 2026-12-31 23:30
    tzset();
}
#endif

class AppendTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::fault_disarm(); }

    JournalResult append(const std::string& request) {
        return append_to_journal(path_.c_str(), request, kReceived, &why_);
    }

    test::TempDir dir_;
    std::string path_ = dir_.str() + "/bookings.jsonl";
    std::string why_;
};

TEST_F(AppendTest, TheEndOfTheFileIsMendedBeforeTheLine) {
    const std::string line = journal_line("regi,x", kReceived);
    const std::pair<std::string, std::string> cases[] = {
        {line, line + line},                                         // whole: untouched
        {line + line.substr(0, 40), line + line},                    // its own cut line: cut off
        {"{\"rec", line},                                            // a cut line alone in the file
        {"notes without a line feed", "notes without a line feed\n" + line},  // other text: ended
        {line + "{\"other\":1}", line + "{\"other\":1}\n" + line},
        {std::string(20000, 'x'), std::string(20000, 'x') + "\n" + line},   // longer than any line
    };
    for (const auto& [before, after] : cases) {
        dir_.write("bookings.jsonl", before);
        ASSERT_EQ(append("regi,x"), JournalResult::Stored) << why_;
        EXPECT_EQ(read_all(path_), after) << before.substr(0, 60);
    }
}

// One line per booking, in a file made by the first; a failed write or flush leaves the
// file as it was.
TEST_F(AppendTest, AFailedWriteOrFlushLeavesTheFileAsItWas) {
    ASSERT_EQ(append("regi,1"), JournalResult::Stored) << why_;
    const std::string before = read_all(path_);
    EXPECT_EQ(before, journal_line("regi,1", kReceived));
    const std::pair<platform::Fault, const char*> cases[] = {
        {platform::Fault::Write, "cannot write "},
        {platform::Fault::Sync, "cannot flush "},
        {platform::Fault::Open, "cannot open "},
    };
    for (const auto& [fault, step] : cases) {
        platform::fault_arm(fault, 1, false);
        EXPECT_EQ(append("regi,2"), JournalResult::NotStored);
        EXPECT_EQ(why_.rfind(step + path_ + ": ", 0), 0u) << why_;
        EXPECT_EQ(read_all(path_), before);
        EXPECT_EQ(append("regi,3"), JournalResult::Stored) << why_;  // the next booking is stored again
        EXPECT_EQ(read_all(path_), before + journal_line("regi,3", kReceived));
        dir_.write("bookings.jsonl", before);
    }
}

#ifndef _WIN32
// A process started with standard input closed gets descriptor 0 for the journal.
TEST_F(AppendTest, DescriptorZeroIsAJournalLikeAnyOther) {
    const int saved = ::dup(0);
    ASSERT_GE(saved, 0);
    ::close(0);
    const JournalResult result = append("regi,1");
    ::dup2(saved, 0);
    ::close(saved);
    EXPECT_EQ(result, JournalResult::Stored) << why_;
}
#endif

TEST_F(AppendTest, PathsThatCannotBeAJournal) {
    EXPECT_EQ(append_to_journal(dir_.str().c_str(), "regi", kReceived, &why_), JournalResult::NotStored);
    EXPECT_EQ(why_.rfind("cannot open " + dir_.str() + ": ", 0), 0u) << why_;
    const std::string missing_folder = dir_.str() + "/missing/bookings.jsonl";
    EXPECT_EQ(append_to_journal(missing_folder.c_str(), "regi", kReceived, &why_), JournalResult::NotStored);
    // 255 bytes is a path; one more is not, on every platform.
    std::string longest = dir_.str() + "/";
    longest += std::string(kMaxJournalPath - longest.size(), 'j');
    EXPECT_EQ(append_to_journal(longest.c_str(), "regi", kReceived, &why_), JournalResult::Stored) << why_;
    const std::string too_long = longest + "j";
    EXPECT_EQ(append_to_journal(too_long.c_str(), "regi", kReceived, &why_), JournalResult::NotStored);
    EXPECT_EQ(why_, "the journal path is longer than 255 characters");
    EXPECT_FALSE(std::filesystem::exists(too_long));
}

TEST_F(AppendTest, ABookingNotStoredIsLoggedWithItsCard) {
    log_reset(nullptr);
    {
        test::EnvGuard off("QX_BOOKINGS", nullptr);
        EXPECT_TRUE(journal_booking("regi,1,2,F1,240115,0875,42"));
    }
    test::EnvGuard on("QX_BOOKINGS", dir_.str().c_str());  // a folder: cannot be opened
    EXPECT_FALSE(journal_booking("regi,1,2,F1,240115,0875,42"));
    const std::string log = log_text();
    EXPECT_EQ(log.rfind("Booking of card 42 not stored (no reply): cannot open " + dir_.str() + ": ", 0), 0u)
        << log;
    EXPECT_EQ(log.find("\r\n"), log.size() - 2);  // one entry
}

}  // namespace
}  // namespace qx::app
