// Field formats: normalising a format and writing a value with it.
#include "support/format.h"

#include <cstring>

#include "support/safe_format.h"
#include "support/text.h"

namespace qx::text {
namespace {

char format_result[kFormatResultSize];  // format_value's result, valid until its next call

void to_upper(char* text) {
    for (; *text != '\0'; ++text) {
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
    }
}

void to_lower(char* text) {
    for (; *text != '\0'; ++text) {
        if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text - 'A' + 'a');
    }
}

// The width of a working format: the number after its "%", without its sign, capped at
// the largest width the value buffer can hold.
std::size_t format_width(const char* work) {
    long long width = read_int(work + 1);
    if (width < 0) width = -width;
    const auto cap = static_cast<long long>(kValueWorkSize - 1);
    return static_cast<std::size_t>(width < cap ? width : cap);
}

}  // namespace

char* normalise_format(char* format) {
    if (format[0] != '%') {
        std::memcpy(format, "%-10s", 6);
        return format;
    }
    std::size_t length = std::strlen(format);
    while (length > 1 && format[length - 1] == ' ') format[--length] = '\0';
    if (format[length - 1] != 's') return format;
    if (format[1] != '-' && read_int(format + 1) == 0) {
        std::memcpy(format, "%10s", 5);
    } else if (format[1] == '-' && read_int(format + 2) == 0) {
        std::memcpy(format, "%-10s", 6);
    }
    return format;
}

char* format_value_into(const char* value, char* format, char* out, std::size_t out_size) {
    if (out_size == 0) return out;
    out[0] = '\0';
    normalise_format(format);
    if (std::strlen(format) >= kFormatWorkSize) return out;
    char work[kFormatWorkSize];
    copy_text(work, sizeof work, format);

    const std::size_t width = format_width(work);
    char work_value[kValueWorkSize];
    copy_text(work_value, width + 1, value);

    char& conversion = work[std::strlen(work) - 1];
    if (conversion == 'u' || conversion == 'l') {
        conversion == 'u' ? to_upper(work_value) : to_lower(work_value);
        conversion = 's';
    }
    const fmt::FormatArg arg{work_value, read_int(work_value)};
    if (!fmt::format_checked(out, out_size, work, &arg, 1)) return out;  // refused: the empty text
    if (conversion == 'd' && is_blank(work_value) != 0) {
        // A blank number field prints as blanks, not as "0".
        copy_text(out, out_size, work_value);
        std::size_t length = std::strlen(out);
        while (length < width && length + 1 < out_size) out[length++] = ' ';
        out[length] = '\0';
    }
    return out;
}

const char* format_value(const char* value, char* format) {
    return format_value_into(value, format, format_result, sizeof format_result);
}

}  // namespace qx::text
