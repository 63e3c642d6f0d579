// Minute counts and numeric date texts.
#include "support/datetime/date_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/env.h"
#include "tests/env_guard.h"

namespace qx::datetime {
namespace {

struct MinutesCase {
    std::int32_t count;
    const char* format;
    const char* expected;
};

void PrintTo(const MinutesCase& c, std::ostream* os) { *os << c.count << " with [" << c.format << "]"; }

class MinutesTextTest : public ::testing::TestWithParam<MinutesCase> {};

TEST_P(MinutesTextTest, Writes) {
    const MinutesCase& c = GetParam();
    char buffer[64];
    EXPECT_STREQ(minutes_text(c.count, c.format, buffer, sizeof buffer), c.expected)
        << c.count << " [" << c.format << "]";
}

INSTANTIATE_TEST_SUITE_P(
    HostFormats, MinutesTextTest,
    ::testing::Values(MinutesCase{545, "%02d:%02d", "09:05"}, MinutesCase{5, "%02d:%02d", "00:05"},
                      MinutesCase{1505, "%02d:%02d", "25:05"}, MinutesCase{-75, "%02d:%02d", "01:15"},
                      MinutesCase{-75, "%+d:%02d", "-1:15"}, MinutesCase{-75, "%+05d:%02d", "-  01:15"},
                      MinutesCase{75, "%+05d:%02d", "+  01:15"}, MinutesCase{75, "%03d:%02d", " 01:15"},
                      MinutesCase{6000, "%03d:%02d", "100:00"}, MinutesCase{0, "%04d:%02d", "  00:00"},
                      MinutesCase{75, "%05d.%02d", "00001.15"}, MinutesCase{75, ":%05d:%02d", ":00001:15"},
                      MinutesCase{75, "%05d:%02d:00", "    1:15:00"}, MinutesCase{-75, "+%d:%02d", "-1:15"},
                      MinutesCase{75, "%04d", "0001"}, MinutesCase{75, "", ""},
                      MinutesCase{75, "%2d h %2d min", " 1 h 15 min"}));

INSTANTIATE_TEST_SUITE_P(
    ExtremeCountsAndUnsafeFormats, MinutesTextTest,
    ::testing::Values(MinutesCase{INT_MIN, "%+d:%02d", "-35791394:08"},
                      MinutesCase{INT_MAX, "%d:%02d", "35791394:07"},
                      MinutesCase{75, "%n:%02d", ""}, MinutesCase{75, "%*d:%02d", ""},
                      MinutesCase{75, "%d:%d:%d", ""}, MinutesCase{75, "%s:%s", "1:15"},
                      MinutesCase{75, "%5.1f:%02d", "  1.0:15"}, MinutesCase{75, "%ld:%02lld", "1:15"},
                      MinutesCase{75, "%02d:%02d%", ""}));

struct DateCase {
    std::int32_t date;
    const char* code;
    const char* expected;
};

void PrintTo(const DateCase& c, std::ostream* os) {
    *os << c.date << " " << (c.code != nullptr ? c.code : "(null)");
}

class DateTextTest : public ::testing::TestWithParam<DateCase> {
  protected:
    test::EnvGuard engdate_{"QX_ENGDATE", nullptr};
};

TEST_P(DateTextTest, Writes) {
    const DateCase& c = GetParam();
    char buffer[32] = "junk";
    EXPECT_STREQ(date_text(c.date, c.code, buffer, sizeof buffer), c.expected) << c.date << " " << c.code;
}

INSTANTIATE_TEST_SUITE_P(
    DayFirst, DateTextTest,
    ::testing::Values(DateCase{101014, "dmj", "14-10-10"}, DateCase{101014, "dmjl", "14-10-2010"},
                      DateCase{50607, "dmj", "07-06-05"},  // every part two digits, the year too
                      DateCase{301, "dmjl", "01-03-2000"}, DateCase{991231, "dmjl", "31-12-1999"},
                      DateCase{20101014, "dmjl", "14-10-2010"}, DateCase{20101014, "dmj", "14-10-10"},
                      DateCase{999999, "dmjl", "99-99-1999"}, DateCase{99999999, "dmjl", "99-99-9999"},
                      DateCase{0, "dmjl", ""}, DateCase{-5, "dmj", ""}, DateCase{INT_MIN, "dmjl", ""},
                      DateCase{101014, "DMJ", ""}, DateCase{101014, "", ""}, DateCase{101014, "dmjll", ""},
                      DateCase{101014, nullptr, ""},
                      DateCase{INT_MAX, "dmjl", "47-36-32767"}));

TEST(DateTextEngDateTest, AnyValueOfQxEngdatePutsTheMonthFirst) {
    for (const char* value : {"1", "", "no"}) {
        test::EnvGuard engdate("QX_ENGDATE", value);
        if (value[0] == '\0' && std::getenv("QX_ENGDATE") == nullptr) continue;  // no empty values here
        char buffer[32];
        EXPECT_STREQ(date_text(101014, "dmjl", buffer, sizeof buffer), "10-14-2010") << "[" << value << "]";
        EXPECT_STREQ(date_text(101014, "dmj", buffer, sizeof buffer), "10-14-10") << "[" << value << "]";
    }
    test::EnvGuard unset("QX_ENGDATE", nullptr);
    char buffer[32];
    EXPECT_STREQ(date_text(101014, "dmjl", buffer, sizeof buffer), "14-10-2010");
}

TEST(DateTextTest, SmallBuffersAreCutNotOverrun) {
    test::EnvGuard engdate("QX_ENGDATE", nullptr);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_STREQ(minutes_text(545, "%02d:%02d", buffer, 4), "09:");
    EXPECT_EQ(buffer[4], '#');
    minutes_text(545, "%02d:%02d", buffer, 0);
    EXPECT_EQ(buffer[0], '0');  // size 0: nothing written
    EXPECT_STREQ(date_text(101014, "dmjl", buffer, 6), "14-10");
    EXPECT_EQ(buffer[6], '#');
}

}  // namespace
}  // namespace qx::datetime
