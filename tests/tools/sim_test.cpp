// nexolt-sim's reply framing and request texts.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/nexolt-sim/sim.h"

namespace qx::sim {
namespace {

// The replies a stream gives, whatever chunks it comes in: one split across chunks, two
// in one chunk with nested objects, braces and escaped quotes inside strings after junk.
TEST(ReplyFramerTest, RepliesFromTheirChunks) {
    const std::pair<std::vector<std::string>, std::vector<std::string>> cases[] = {
        {{"{\"success\":tr", "ue}"}, {"{\"success\":true}"}},
        {{"{\"a\":[{\"b\":1}]}{\"c\":2}"}, {"{\"a\":[{\"b\":1}]}", "{\"c\":2}"}},
        {{"junk{\"name\":\"Hi }{ \\\" again\"}"}, {"{\"name\":\"Hi }{ \\\" again\"}"}},
    };
    for (const auto& [chunks, replies] : cases) {
        ReplyFramer framer;
        std::vector<std::string> got;
        std::string reply;
        for (const std::string& chunk : chunks) {
            framer.feed(chunk.data(), chunk.size());
            while (framer.next(&reply)) got.push_back(reply);
        }
        EXPECT_EQ(got, replies) << chunks.front();
    }
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
