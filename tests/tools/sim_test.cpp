// nexolt-sim's reply framing (its requests: tests/e2e/server_test.py).
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
        {{"{}"}, {"{}"}},
    };
    for (const auto& [chunks, replies] : cases) {
        ReplyFramer framer;
        std::vector<std::string> got;
        std::string reply;
        for (const std::string& chunk : chunks) {
            framer.feed(chunk.data(), chunk.size());
            while (got.size() < 4 && framer.next(&reply)) got.push_back(reply);
        }
        EXPECT_EQ(got, replies) << chunks.front();
    }
}

}  // namespace
}  // namespace qx::sim
