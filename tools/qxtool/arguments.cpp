// The argument readers of qxtool's commands (arguments.h).
#include "tools/qxtool/arguments.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "support/line_escape.h"

namespace qx::tool {

using text::escape;

long long integer_arg(const Args& a, std::size_t index, const char* name, long long low,
                      long long high) {
    const std::string& text = a[index];
    const char* begin = text.data() + (text.size() > 1 && text[0] == '+' ? 1 : 0);
    const char* end = text.data() + text.size();
    long long value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || value < low || value > high) {
        throw UsageError{std::string(name) + " must be an integer from " + std::to_string(low) +
                         " to " + std::to_string(high) + ", got '" + escape(text) + "'"};
    }
    return value;
}

std::int32_t int32_arg(const Args& a, std::size_t index, const char* name) {
    return static_cast<std::int32_t>(integer_arg(a, index, name, INT32_MIN, INT32_MAX));
}

std::int16_t int16_arg(const Args& a, std::size_t index, const char* name) {
    return static_cast<std::int16_t>(integer_arg(a, index, name, INT16_MIN, INT16_MAX));
}

char separator_arg(const Args& a, std::size_t index) {
    if (a[index].size() != 1) {
        throw UsageError{"SEP must be exactly one character, got '" + escape(a[index]) + "'"};
    }
    return a[index][0];
}

std::string buffer_arg(const Args& a, std::size_t index, std::size_t minimum) {
    std::string buffer = a[index];
    buffer.resize(std::max(buffer.size() + 1, minimum), '\0');
    return buffer;
}

}  // namespace qx::tool
