// Classification of requests and the booking line and reply, without sockets.
#include <gtest/gtest.h>

#include <string>

#include "app/booking.h"
#include "app/requests.h"
#include "tests/env_guard.h"

namespace qx::app {
namespace {

TEST(ClassifyRequestTest, ByFirstBytes) {
    const std::pair<const char*, RequestKind> cases[] = {
        {"get_alive,", RequestKind::KeepAlive},       {"get_alive,x", RequestKind::Other},
        {"get_alive", RequestKind::Other},            {"regi", RequestKind::Booking},
        {"regi,1,2,F1", RequestKind::Booking},        {"registration", RequestKind::Booking},
        {"reg", RequestKind::Other},                  {"get_grund", RequestKind::AbsenceReasons},
        {"get_grund,", RequestKind::AbsenceReasons},  {"get_grundX", RequestKind::AbsenceReasons},
        {"get_grun", RequestKind::Other},             {"snd_termnr,", RequestKind::TerminalNumber},
        {"snd_termnr,42", RequestKind::TerminalNumber}, {"snd_termnr", RequestKind::Other},
        {"", RequestKind::Other},                     {" regi", RequestKind::Other},
    };
    for (const auto& [text, kind] : cases) EXPECT_EQ(classify_request(text), kind) << "[" << text << "]";
}

struct BookingCase {
    const char* request;
    const char* line;
};

void PrintTo(const BookingCase& c, std::ostream* os) { *os << "[" << c.request << "]"; }

class BookingLineTest : public ::testing::TestWithParam<BookingCase> {
  protected:
    test::EnvGuard engdate_{"QX_ENGDATE", nullptr};
};

TEST_P(BookingLineTest, Writes) {
    char line[kBookingLineSize];
    EXPECT_EQ(std::string(booking_line(GetParam().request, line)), std::string(GetParam().line) + "\r\n")
        << GetParam().request;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BookingLineTest,
    ::testing::Values(BookingCase{"regi,1,2,F1,240115,830,12345", "Card: 12345 at 08:30 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,0875,12345", "Card: 12345 at 09:15 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,123456,1", "Card: 1 at 12:34 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,-30,1", "Card: 1 at 00:30 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,2400,1", "Card: 1 at 24:00 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,,830,1", "Card: 1 at 08:30 on  (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,abc,830,1", "Card: 1 at 08:30 on  (Fkey: F1)"},
                      BookingCase{"regi", "Card:  at 00:00 on  (Fkey: )"},
                      BookingCase{"regi,1,2, F1 ,240115,830, 7 ,x", "Card:  7  at 08:30 on 15-01-2024 (Fkey:  F1 )"},
                      BookingCase{"regi,1,2,F1,240115,-2147483648,1", "Card: 1 at 01:46 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,0199,1", "Card: 1 at 02:39 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,2130,1", "Card: 1 at 21:30 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,9959,1", "Card: 1 at 99:59 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,9960,1", "Card: 1 at 100:00 on 15-01-2024 (Fkey: F1)"},
                      BookingCase{"regi,1,2,F1,240115,9999,1", "Card: 1 at 100:39 on 15-01-2024 (Fkey: F1)"}));

TEST(BookingLineEngDateTest, MonthFirst) {
    test::EnvGuard engdate("QX_ENGDATE", "1");
    char line[kBookingLineSize];
    EXPECT_STREQ(booking_line("regi,1,2,F1,240115,830,12345", line),
                 "Card: 12345 at 08:30 on 01-15-2024 (Fkey: F1)\r\n");
}

TEST(BookingLineTest, LongestFieldsFitWhole) {
    const std::string key(297, 'k');  // with its comma, the most a field keeps
    const std::string card(298, 'c');
    const std::string request = "regi,1,2," + key + ",101014,0700," + card;
    char line[kBookingLineSize];
    EXPECT_EQ(std::string(booking_line(request.c_str(), line)),
              "Card: " + card + " at 07:00 on 14-10-2010 (Fkey: " + key + ")\r\n");
}

TEST(BookingReplyTest, TheCardEscapedAsJsonRequires) {
    const std::string head = "{\"success\":true,\"error\":\"SALDO\",\"name\":\"Hi ";
    const std::string tail = " again\",\"kumsal\":\"+0:15\",\"kumsaloms\":\"Balance\"}";
    const std::pair<std::string, const char*> cases[] = {  // request, the name's middle
        {"regi,1,2,F1,240115,830,12345", "12345"}, {"regi", ""},
        {"regi,1,2,F1,240115,830,a\"b", "a\\\"b"}, {"regi,1,2,F1,240115,830,a\\b", "a\\\\b"},
        {"regi,1,2,F1,240115,830,\x01\t\x1b\x7f", "\\u0001\\u0009\\u001b\\u007f"},
        {"regi,1,2,F1,240115,830,\xc3\xa9", "\xc3\xa9"},
    };
    char reply[kBookingReplySize];
    for (const auto& [request, name] : cases) {
        EXPECT_EQ(std::string(booking_reply(request.c_str(), reply)), head + name + tail) << request;
    }
    // The longest card, every byte escaped, is in the reply whole, and the reply ends whole.
    const std::string request = "regi,1,2,F1,240115,830," + std::string(298, '\x01');
    const std::string whole = booking_reply(request.c_str(), reply);
    EXPECT_EQ(whole.size(), head.size() + tail.size() + 298 * 6);
}

}  // namespace
}  // namespace qx::app
