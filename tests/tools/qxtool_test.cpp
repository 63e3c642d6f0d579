// qxtool's command runners, driven in-process.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tools/qxtool/commands.h"
#include "support/line_escape.h"

namespace qx::tool {
namespace {

using text::escape;
using text::unescape;

// Every byte round trips, and none but escapes reach a line: fuzz_escape (tests/fuzz).
TEST(EscapeTest, Escapes) {
    EXPECT_EQ(escape("a\\b\tc \n\r"), "a\\\\b\\tc \\n\\r");
    EXPECT_EQ(escape("\x1b[2J\x7f\x01~"), "\\x1b[2J\\x7f\\x01~");
}

TEST(EscapeTest, RejectsUnknownAndDanglingEscapes) {
    std::string out;
    EXPECT_FALSE(unescape("a\\", &out));
    for (const char* bad : {"\\x", "\\x4", "\\xg1", "\\x4 "}) EXPECT_FALSE(unescape(bad, &out)) << bad;
    EXPECT_TRUE(unescape("\\x0a\\x0A\\x7f\\x7F", &out));  // hex digits of either case, a to f
    EXPECT_EQ(out, "\n\n\x7f\x7f");
    EXPECT_TRUE(unescape("\\x1B\\x41", &out));
    EXPECT_EQ(out, "\x1b" "A");
    EXPECT_TRUE(unescape("a\\0b", &out));
    EXPECT_EQ(out, std::string("a\0b", 3));
    EXPECT_TRUE(unescape("", &out));
    EXPECT_EQ(out, "");
}

TEST(RunCommandTest, UsageErrorsNameTheProblem) {
    struct Case {
        std::vector<std::string> words;
        const char* message_part;
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"leap"}, "leap takes 1 argument(s): leap YEAR"},
        {{"leap", "12x"}, "YEAR must be an integer"},
        {{"leap", "2147483648"}, "YEAR must be an integer from -2147483648 to 2147483647"},
        {{"leap", ""}, "YEAR must be an integer"},
        {{"leap", "+"}, "YEAR must be an integer"},
        {{"field", "32768", "a", ","}, "N must be an integer from -32768 to 32767"},
        {{"field", "1", "a", ""}, "SEP must be exactly one character"},
        {{"field", "1", "a", "ab"}, "SEP must be exactly one character"},
        {{"copy-field", "1", "a", ",", "big"}, "SIZE must be an integer"},
        {{"lead", "12", "99999"}, "N must be an integer"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = run_command(c.words);
        EXPECT_FALSE(outcome.ok) << outcome.text;
        EXPECT_NE(outcome.text.find(c.message_part), std::string::npos) << outcome.text;
    }
}

TEST(RunCommandTest, ResultsAreRawTexts) {
    EXPECT_TRUE(run_command({"reg", "Software\\None"}).ok);  // one argument, whether the key is there or not
    EXPECT_EQ(run_command({"trim1", "ab\t   "}).text, "ab\t ");
    EXPECT_EQ(run_command({"leap", "+2000"}).text, "1");
    EXPECT_EQ(run_command({"format", "x", "   "}).text, "x         ");
    EXPECT_EQ(run_command({"copy-field", "1", "abcdef,x", ",", "5"}).text, "abc");
    EXPECT_EQ(run_command({"copy-field", "2", "abcdef,xyz", ",", "-2147483648"}).text, "");
}

TEST(RunBatchTest, OneEscapedLinePerCommand) {
    // An embedded NUL ends the argument, as the library sees it.
    const char lines[] = "trim1\tab\\t   \r\nfield\t2\ta\\\\b,c\\nd\t,\nblank\t  \0x\nleap\t2000";
    std::istringstream in(std::string(lines, sizeof lines - 1));
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(run_batch(in, out, err), 0);
    EXPECT_EQ(out.str(), "ab\\t \nc\\nd\n1\n1\n");
    EXPECT_EQ(err.str(), "");
}

TEST(RunBatchTest, FailedLinesKeepTheirPlace) {
    std::istringstream in("leap\t2000\n\nleap\tx\nfield\t1\ta\\qb\t,\nleap\t1900\n");
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(run_batch(in, out, err), 3);
    std::istringstream lines(out.str());
    std::string line;
    std::vector<std::string> got;
    while (std::getline(lines, line)) got.push_back(line);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0], "1");
    EXPECT_EQ(got[1].rfind("\\! no command", 0), 0u) << got[1];
    EXPECT_EQ(got[2].rfind("\\! leap: YEAR must be", 0), 0u) << got[2];
    EXPECT_EQ(got[3].rfind("\\! bad escape", 0), 0u) << got[3];
    EXPECT_EQ(got[4], "0");
    EXPECT_NE(err.str().find("line 3: leap: YEAR"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace qx::tool
