// Field formats: normalising and writing values, including formats that would make
// printf misbehave.
#include "support/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/safe_format.h"
#include "support/text.h"

namespace qx::text {
namespace {

struct NormaliseCase {
    const char* format;
    const char* expected;
};

void PrintTo(const NormaliseCase& c, std::ostream* os) { *os << "[" << c.format << "]"; }

class NormaliseFormatTest : public ::testing::TestWithParam<NormaliseCase> {};

TEST_P(NormaliseFormatTest, Normalises) {
    char buffer[32];
    copy_text(buffer, sizeof buffer, GetParam().format);
    EXPECT_STREQ(normalise_format(buffer), GetParam().expected) << "[" << GetParam().format << "]";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormaliseFormatTest,
    ::testing::Values(NormaliseCase{"%s", "%10s"}, NormaliseCase{"%0s", "%10s"},
                      NormaliseCase{"%.5s", "%10s"}, NormaliseCase{"%-s", "%-10s"},
                      NormaliseCase{"%-0s", "%-10s"}, NormaliseCase{"%5s ", "%5s"},
                      NormaliseCase{"%-5s", "%-5s"}, NormaliseCase{"%5d", "%5d"},
                      NormaliseCase{"", "%-10s"}, NormaliseCase{"   ", "%-10s"},
                      NormaliseCase{"x%5s", "%-10s"}, NormaliseCase{"%   ", "%"},
                      NormaliseCase{"%", "%"}, NormaliseCase{"%u", "%u"}));

struct FormatCase {
    const char* value;
    const char* format;
    const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << "[" << c.value << "] with [" << c.format << "]";
}

class FormatValueTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatValueTest, Writes) {
    const FormatCase& c = GetParam();
    char format[32];
    copy_text(format, sizeof format, c.format);
    EXPECT_STREQ(format_value(c.value, format), c.expected)
        << "value [" << c.value << "] format [" << c.format << "]";
}

INSTANTIATE_TEST_SUITE_P(
    HostFormats, FormatValueTest,
    ::testing::Values(FormatCase{"hello", "%-3s", "hel"}, FormatCase{"Hello", "%-8u", "HELLO   "},
                      FormatCase{"Hello", "%8l", "   hello"}, FormatCase{"42", "%5d", "   42"},
                      FormatCase{"", "%5d", "     "}, FormatCase{"  ", "%5d", "     "},
                      FormatCase{"abc", "%5d", "    0"}, FormatCase{"123456", "%3d", "123"},
                      FormatCase{"12", "%d", ""}, FormatCase{"abc", "%u", ""},
                      FormatCase{"x", "", "x         "}, FormatCase{"x", "%s", "         x"},
                      FormatCase{"-7", "%-5ld", "-7   "}, FormatCase{"42", "%05d", "00042"},
                      FormatCase{"x1Y", "%4u", " X1Y"}, FormatCase{"42", "%5x", "   2a"},
                      FormatCase{"-1", "%9X", " FFFFFFFF"}, FormatCase{"65", "%3c", "  A"},
                      FormatCase{"42", "%5d]", "   42]"}, FormatCase{"7", "%3d%%", "  7%"}));

// Formats that a plain printf would turn into undefined behaviour: each gets a defined
// result, and the tests run under the sanitizers too.
INSTANTIATE_TEST_SUITE_P(
    UnsafeFormats, FormatValueTest,
    ::testing::Values(FormatCase{"42", "%5n", ""},          // would write memory
                      FormatCase{"42", "%*d", ""},          // would read a missing argument
                      FormatCase{"42", "%5d%d", ""},        // two conversions
                      FormatCase{"42", "%5s%s", ""},        // two conversions, text
                      FormatCase{"42", "%5p", ""},          // pointer of a number
                      FormatCase{"42", "%5a", ""},          // not a field conversion
                      FormatCase{"42", "%5q", ""},          // unknown conversion
                      FormatCase{"42", "%5s]", "   42]"},   // text conversion gets the text
                      FormatCase{"4", "%5.2f", " 4.00"},    // floating gets a double
                      FormatCase{"4", "%5.1e", "4.0e+00"},  // same on every C runtime
                      FormatCase{"42", "%-5lu", "42   "},   // wide string never passed
                      FormatCase{"42", "%05s", "   42"},    // no zero padding of texts
                      FormatCase{"42", "%300d", ""},        // width beyond the value buffer
                      FormatCase{"42", "%5.300d", ""},      // precision too
                      FormatCase{"42", "%1234567890d", ""}, // longer than the working format
                      FormatCase{"42", "%5%", ""},          // "%" is no conversion
                      FormatCase{"42", "%5", ""},           // unfinished conversion
                      FormatCase{"42", "%5lld", "   42"}, FormatCase{"42", "%5hhd", "   42"},
                      FormatCase{"42", "%5Lf", ""}, FormatCase{"42", "%5I64d", ""},
                      FormatCase{"42", "%5jd", ""}));

TEST(FormatValueTest, BlankFormatIsNormalisedInTheCallersBuffer) {
    char format[16] = "   ";
    EXPECT_STREQ(format_value("x", format), "x         ");
    EXPECT_STREQ(format, "%-10s");
}

TEST(FormatValueTest, WidestAcceptedResultsFitAndAreWhole) {
    const std::string value(400, 'v');
    char text_format[16] = "%299s";
    EXPECT_EQ(std::string(format_value(value.c_str(), text_format)), std::string(299, 'v'));
    char number_format[16] = "%-299d";
    EXPECT_EQ(std::strlen(format_value("1", number_format)), 299u);
    char float_format[16] = "%299.299f";
    const std::string written = format_value("-2147483648", float_format);
    EXPECT_EQ(written.size(), 11u + 1u + 299u);  // "-2147483648" "." 299 zeros
    EXPECT_EQ(written.substr(0, 12), "-2147483648.");
}

TEST(FormatValueIntoTest, CutsToTheCallersBuffer) {
    char format[16] = "%-20s";
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_STREQ(format_value_into("abcdefghijkl", format, out, 6), "abcde");
    EXPECT_EQ(out[6], '#');
    char blank_format[16] = "%20d";
    EXPECT_STREQ(format_value_into("", blank_format, out, 6), "     ");
    EXPECT_EQ(out[6], '#');
}

TEST(FormatCheckedTest, LiteralTextAndPercentEscapes) {
    char out[32];
    const fmt::FormatArg args[2] = {{nullptr, 9}, {nullptr, 5}};
    EXPECT_TRUE(fmt::format_checked(out, sizeof out, "[%02d:%02d] 100%%", args, 2));
    EXPECT_STREQ(out, "[09:05] 100%");
    EXPECT_TRUE(fmt::format_checked(out, sizeof out, "%s h", args, 2));
    EXPECT_STREQ(out, "9 h");  // a text conversion of a number writes its digits
    EXPECT_FALSE(fmt::format_checked(out, sizeof out, "%d %d %d", args, 2));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(fmt::format_checked(out, sizeof out, nullptr, args, 2));
    EXPECT_FALSE(fmt::format_checked(out, 0, "x", args, 2));
    EXPECT_TRUE(fmt::format_checked(out, 5, "<%04d>", args, 1));  // cut, terminated
    EXPECT_STREQ(out, "<000");
}

// Every conversion is written as the C library's snprintf writes the same format with an
// argument of the type chosen for it, and cut alike; the plain integer conversions (no
// flag but 0, no precision) are written without snprintf and are checked against it.
TEST(FormatCheckedTest, WritesWhatSnprintfWrites) {
    const char* const kFormats[] = {"%d",  "%02d", "%04d", "%012d", "%-4d", "%+d", "% 5d", "%05.3d", "%i",
                                    "%.0d", "%3u", "%x",   "%#o",   "%X",   "%7.2f", "%e",  "%s",     "%-8s"};
    const std::int32_t kValues[] = {INT32_MIN, -1234, -5, 0, 7, 42, 12345, INT32_MAX};
    for (const char* format : kFormats) {
        const std::string f = format;
        const char conversion = f.back();
        const std::string wide = f.substr(0, f.size() - 1) + "ll" + conversion;
        for (const std::int32_t value : kValues) {
            for (const std::size_t size : {std::size_t{64}, std::size_t{4}, std::size_t{1}}) {
                char ours[64];
                char theirs[64];
                const fmt::FormatArg arg{nullptr, value};
                ASSERT_TRUE(fmt::format_checked(ours, size, format, &arg, 1)) << format;
                if (conversion == 'd' || conversion == 'i') {
                    std::snprintf(theirs, size, wide.c_str(), static_cast<long long>(value));
                } else if (conversion == 's') {
                    std::snprintf(theirs, size, format, std::to_string(value).c_str());
                } else if (conversion == 'f' || conversion == 'e') {
                    std::snprintf(theirs, size, format, static_cast<double>(value));
                } else {
                    std::snprintf(theirs, size, wide.c_str(),
                                  static_cast<unsigned long long>(static_cast<std::uint32_t>(value)));
                }
                EXPECT_STREQ(ours, theirs) << format << " of " << value << " in " << size << " bytes";
                char plain[64];
                if (f == "%d" || f == "%04d" || f == "%012d") {
                    const int width = f == "%d" ? 0 : std::atoi(format + 2);
                    EXPECT_EQ(fmt::write_plain_integer(value, width, width > 0, plain, size),
                              static_cast<std::size_t>(std::snprintf(nullptr, 0, wide.c_str(),
                                                                     static_cast<long long>(value))));
                    EXPECT_STREQ(plain, theirs);
                }
            }
        }
    }
}

}  // namespace
}  // namespace qx::text
