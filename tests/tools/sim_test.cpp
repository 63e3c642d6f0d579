// nexolt-sim's reply framing and request texts.
#include <gtest/gtest.h>

#include <string>

#include "tools/nexolt-sim/sim.h"

namespace qx::sim {
namespace {

TEST(ReplyFramerTest, RepliesSplitAcrossChunks) {
    ReplyFramer framer;
    std::string reply;
    framer.feed("{\"success\":tr", 13);
    EXPECT_FALSE(framer.next(&reply));
    framer.feed("ue}", 3);
    ASSERT_TRUE(framer.next(&reply));
    EXPECT_EQ(reply, "{\"success\":true}");
    EXPECT_FALSE(framer.next(&reply));
}

TEST(ReplyFramerTest, TwoRepliesInOneChunkAndNestedObjects) {
    ReplyFramer framer;
    const std::string stream = "{\"a\":[{\"b\":1}]}{\"c\":2}";
    framer.feed(stream.data(), stream.size());
    std::string reply;
    ASSERT_TRUE(framer.next(&reply));
    EXPECT_EQ(reply, "{\"a\":[{\"b\":1}]}");
    ASSERT_TRUE(framer.next(&reply));
    EXPECT_EQ(reply, "{\"c\":2}");
}

TEST(ReplyFramerTest, BracesAndEscapedQuotesInsideStrings) {
    ReplyFramer framer;
    const std::string stream = "junk{\"name\":\"Hi }{ \\\" again\"}";
    framer.feed(stream.data(), stream.size());
    std::string reply;
    ASSERT_TRUE(framer.next(&reply));
    EXPECT_EQ(reply, "{\"name\":\"Hi }{ \\\" again\"}");
}

TEST(RequestsTest, Texts) {
    EXPECT_EQ(keep_alive_request(), "get_alive,");
    EXPECT_EQ(absence_reasons_request(), "get_grund,");
    EXPECT_EQ(terminal_number_request("42"), "snd_termnr,42");
    EXPECT_EQ(booking_request("12345", "F1", "240115", "0830"), "regi,1,0,F1,240115,0830,12345");
    const std::string now = booking_request("1", "F2", "", "");
    EXPECT_EQ(now.size(), std::string("regi,1,0,F2,YYMMDD,HHMM,1").size()) << now;
}

}  // namespace
}  // namespace qx::sim
