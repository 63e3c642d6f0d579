// Field splitting, blank test, trims and leading numbers.
#include "support/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace qx::text {
namespace {

struct FieldCase {
    int n;
    const char* text;
    char separator;
    const char* expected;
};

void PrintTo(const FieldCase& c, std::ostream* os) {
    *os << "field " << c.n << " of [" << c.text << "] sep [" << c.separator << "]";
}

class FieldAtTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldAtTest, PicksField) {
    const FieldCase& c = GetParam();
    EXPECT_STREQ(field_at(static_cast<std::int16_t>(c.n), c.text, c.separator), c.expected)
        << "field " << c.n << " of [" << c.text << "] sep [" << c.separator << "]";
}

INSTANTIATE_TEST_SUITE_P(
    SeparatorMode, FieldAtTest,
    ::testing::Values(FieldCase{2, "a,,c", ',', ""}, FieldCase{3, "a,,c", ',', "c"},
                      FieldCase{4, "a,,c", ',', ""}, FieldCase{0, "a,,c", ',', ""},
                      FieldCase{-3, "a,,c", ',', ""}, FieldCase{1, "", ',', ""},
                      FieldCase{2, "a, b ,c", ',', " b "}, FieldCase{1, ",x", ',', ""},
                      FieldCase{2, "x,", ',', ""}, FieldCase{2, "a\"b,c\"d", ',', "c\"d"},
                      FieldCase{2, "a b\tc", '\t', "c"},
                      FieldCase{7, "regi,1,2,F1,101014,0930,4711", ',', "4711"}));

INSTANTIATE_TEST_SUITE_P(
    BlankMode, FieldAtTest,
    ::testing::Values(FieldCase{2, "  one \t two   three", ' ', "two"},
                      FieldCase{3, "  one \t two   three", ' ', "three"},
                      FieldCase{4, "  one \t two   three   ", ' ', ""},
                      FieldCase{1, "  one \t two", ' ', "one"},
                      FieldCase{2, "a \"b c\" d", ' ', "\"b c\""},
                      FieldCase{3, "a \"b c\" d", ' ', "d"},
                      FieldCase{2, "a 'b c", ' ', "'b c"}, FieldCase{1, "\"ab\"cd", ' ', "\"ab\""},
                      FieldCase{2, "\"ab\"cd", ' ', "cd"}, FieldCase{2, "a b\"c d", ' ', "b\"c"},
                      FieldCase{2, "a 'x\" y' z", ' ', "'x\" y'"}, FieldCase{1, "   ", ' ', ""},
                      FieldCase{1, "\t\tword\t", ' ', "word"}));

TEST(CopyFieldTest, LimitCountsTheSeparatorThenDropsIt) {
    char buffer[16];
    EXPECT_STREQ(copy_field(1, "abcdef,x", ',', buffer, 5), "abc");
    EXPECT_STREQ(copy_field(1, "abcdef", ',', buffer, 5), "abcd");
    EXPECT_STREQ(copy_field(1, "abcdef x", ' ', buffer, 5), "abc");  // a blank counts as a separator does
    EXPECT_STREQ(copy_field(1, "abcdef,x", ',', buffer, 1), "");
    EXPECT_STREQ(copy_field(1, "ab,x", ',', buffer, 2), "");  // cut to "a", then one more
}

TEST(CopyFieldTest, SizeZeroOrNegativeWritesNothingAndNoTextGivesNothing) {
    EXPECT_STREQ(field_at(1, nullptr, ','), "");
    for (int size : {0, -1, INT_MIN}) {
        char buffer[4] = {'#', '#', '#', '\0'};
        EXPECT_EQ(copy_field(1, "abc", ',', buffer, size), buffer);
        EXPECT_STREQ(buffer, "###") << "size " << size;
    }
}

TEST(CopyFieldTest, NeverWritesPastTheGivenSize) {
    // Every size from 1 to 12 on a guarded buffer: bytes past `size` stay untouched.
    const std::string text = "first field,second,third";
    for (int size = 1; size <= 12; ++size) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        copy_field(1, text.c_str(), ',', buffer, size);
        EXPECT_LT(std::strlen(buffer), static_cast<std::size_t>(size));
        for (std::size_t i = static_cast<std::size_t>(size); i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], '#') << "size " << size << " wrote byte " << i;
        }
    }
}

TEST(FieldAtTest, LongFieldIsCutToTheStaticBuffer) {
    const std::string field(298, 'x');
    EXPECT_EQ(std::string(field_at(1, (field + ",y").c_str(), ',')), std::string(297, 'x'));
    EXPECT_EQ(std::string(field_at(2, ("y," + field).c_str(), ',')), field);
    const std::string huge(100000, 'z');
    EXPECT_EQ(std::strlen(field_at(1, huge.c_str(), ',')), 298u);
    EXPECT_EQ(std::strlen(field_at(1, huge.c_str(), ' ')), 298u);
}

TEST(FieldAtTest, FieldsBeyondSixteenBitPositions) {
    // A list longer than 32767 characters: later fields are still found, not wrapped.
    std::string list;
    for (int i = 1; i <= 9000; ++i) list += std::to_string(i) + ",";
    EXPECT_STREQ(field_at(8999, list.c_str(), ','), "8999");
    EXPECT_STREQ(field_at(9001, list.c_str(), ','), "");
}


TEST(IsBlankTest, OnlySpacesCount) {
    EXPECT_EQ(is_blank(""), 1);
    EXPECT_EQ(is_blank("   "), 1);
    EXPECT_EQ(is_blank(" \t"), 0);
    EXPECT_EQ(is_blank("a  "), 0);
    EXPECT_EQ(is_blank(nullptr), 1);
}

struct TrimCase {
    const char* input;
    const char* one_blank;
    const char* no_blank;
};

void PrintTo(const TrimCase& c, std::ostream* os) { *os << "[" << c.input << "]"; }

class TrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, TrimsInPlace) {
    const TrimCase& c = GetParam();
    char one[64];
    char none[64];
    copy_text(one, sizeof one, c.input);
    copy_text(none, sizeof none, c.input);
    EXPECT_STREQ(trim_to_one_blank(one), c.one_blank) << "[" << c.input << "]";
    EXPECT_STREQ(trim_right(none), c.no_blank) << "[" << c.input << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrimTest,
    ::testing::Values(TrimCase{"ab   ", "ab ", "ab"}, TrimCase{"ab ", "ab ", "ab"},
                      TrimCase{"ab", "ab", "ab"}, TrimCase{"   ", "", ""}, TrimCase{" ", "", ""},
                      TrimCase{"", "", ""}, TrimCase{"ab\t ", "ab\t ", "ab\t"},
                      TrimCase{" a  b  ", " a  b ", " a  b"}));

TEST(LeadingNumberTest, ReadsAsAtoiWithinCount) {
    EXPECT_EQ(leading_number("0930", 2), 9);
    EXPECT_EQ(leading_number("30", 2), 30);
    EXPECT_EQ(leading_number("7", 2), 7);
    EXPECT_EQ(leading_number("x1", 2), 0);
    EXPECT_EQ(leading_number("  -42abc", 5), -42);
    EXPECT_EQ(leading_number("+17", 3), 17);
    EXPECT_EQ(leading_number("1234", 0), 0);
}

TEST(LeadingNumberTest, CountOutsideTheWorkingBuffer) {
    const std::string digits = std::string(78, '0') + "123";  // 81 characters
    EXPECT_EQ(leading_number(digits.c_str(), 79), 1);  // only 79 characters are read
    EXPECT_EQ(leading_number(digits.c_str(), 32767), 1);
    EXPECT_EQ(leading_number(digits.c_str(), -1), 0);
    EXPECT_EQ(leading_number(digits.c_str(), INT16_MIN), 0);
}

TEST(ReadIntTest, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(read_int("2147483647"), INT32_MAX);
    EXPECT_EQ(read_int("2147483648"), INT32_MAX);
    EXPECT_EQ(read_int("99999999999999999999999"), INT32_MAX);
    EXPECT_EQ(read_int("-2147483648"), INT32_MIN);
    EXPECT_EQ(read_int("-99999999999999999999"), INT32_MIN);
    EXPECT_EQ(read_int("\n\t 12"), 12);
    EXPECT_EQ(read_int("- 12"), 0);
}

TEST(CopyTextTest, BoundedAndTerminated) {
    char buffer[4] = {'#', '#', '#', '#'};
    copy_text(buffer, 0, "abc");
    EXPECT_EQ(buffer[0], '#');
    copy_text(buffer, 3, "abcdef");
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(buffer[3], '#');
    copy_text(buffer, 4, nullptr);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace qx::text
