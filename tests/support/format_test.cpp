// The checked formatter against the C library's snprintf. (Field formats normalised and
// values written with them: tests/tools/qxtool_cases.tsv.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/safe_format.h"

namespace qx::text {
namespace {

// Every conversion is written as the C library's snprintf writes the same format with an
// argument of the type chosen for it, and cut alike; the plain integer conversions (no
// flag but 0, no precision) are written without snprintf and are checked against it. No
// format or no room: nothing written. (Literal text, "%%", too few arguments:
// tests/tools/qxtool_cases.tsv.)
TEST(FormatCheckedTest, WritesWhatSnprintfWrites) {
    char none[4] = "x";
    const fmt::FormatArg nine{nullptr, 9};
    EXPECT_FALSE(fmt::format_checked(none, sizeof none, nullptr, &nine, 1));
    EXPECT_FALSE(fmt::format_checked(none, 0, "x", &nine, 1));
    const char* const kFormats[] = {"%d",  "%02d", "%04d", "%012d", "%-4d", "%+d", "% 5d", "%05.3d", "%i",
                                    "%.0d", "%3u", "%x",   "%#o",   "%X",   "%7.2f", "%e",  "%s",     "%-8s", "abcd%d"};
    const std::int32_t kValues[] = {INT32_MIN, -1234, -5, 0, 7, 42, 12345, INT32_MAX};
    for (const char* format : kFormats) {
        const std::string f = format;
        const char conversion = f.back();
        const std::string wide = f.substr(0, f.size() - 1) + "ll" + conversion;
        for (const std::int32_t value : kValues) {
            for (const std::size_t size : {std::size_t{64}, std::size_t{4}, std::size_t{1}}) {
                char ours[65];
                char theirs[64];
                std::memset(ours, '#', sizeof ours);
                const fmt::FormatArg arg{nullptr, value};
                ASSERT_TRUE(fmt::format_checked(ours, size, format, &arg, 1)) << format;
                EXPECT_EQ(ours[size], '#') << format << ": written past " << size << " bytes";
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
    // Literal text after a conversion that was cut: nothing more fits.
    char cut[8];
    std::memset(cut, '#', sizeof cut);
    const fmt::FormatArg number{nullptr, -1234};
    EXPECT_TRUE(fmt::format_checked(cut, 4, "%d]x", &number, 1));
    EXPECT_EQ(std::string(cut, sizeof cut), std::string("-12\0####", sizeof cut));
}

}  // namespace
}  // namespace qx::text
