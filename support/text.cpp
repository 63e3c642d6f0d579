// Field splitting, blank test, trims and leading numbers.
#include "support/text.h"

#include <climits>
#include <cstring>

namespace qx::text {
namespace {

char field_buffer[kFieldBufferSize];  // field_at's result, valid until its next call

bool is_blank_or_tab(char c) { return c == ' ' || c == '\t'; }

// Bounds of one field: [start, end) where end already stands past the separator,
// blank or closing quote that ended the field (if any).
struct FieldSpan {
    std::size_t start;
    std::size_t end;
};

// copy_field in separator mode, in one pass over the text up to the field's end (a
// booking takes five fields of a short request: no length of the whole text, no search
// call per field).
char* copy_separated_field(std::int16_t n, const char* text, char separator, char* buffer, std::size_t size) {
    const char* start = text;
    for (int count = 1; count < n; ++count) {
        while (*start != '\0' && *start != separator) ++start;
        if (*start == '\0') return buffer;  // fewer than n fields
        ++start;
    }
    const char* end = start;
    while (*end != '\0' && *end != separator) ++end;
    std::size_t count_chars = static_cast<std::size_t>(end - start);
    const bool ended = *end != '\0';  // by the separator, not by the end of the text
    if (ended) ++count_chars;  // the separator counts in the length that is cut
    if (count_chars + 1 > size) count_chars = size - 1;
    // A field ended by the separator loses one character, its separator, or after a cut
    // one of its own.
    if (ended) {
        if (count_chars == 0) return buffer;
        --count_chars;
    }
    std::memcpy(buffer, start, count_chars);
    buffer[count_chars] = '\0';
    return buffer;
}

// Where the field that begins at or after `p` ends, in blank mode: skips leading blanks
// and tabs, honours a leading quote.
FieldSpan next_field_blank(const char* text, std::size_t length, std::size_t p) {
    std::size_t start = p;
    while (start < length && is_blank_or_tab(text[start])) ++start;
    std::size_t end = start;
    if (start < length && (text[start] == '"' || text[start] == '\'')) {
        const char quote = text[start];
        end = start + 1;
        while (end < length && text[end] != quote) ++end;
    } else {
        while (end < length && !is_blank_or_tab(text[end])) ++end;
    }
    return {start, end};
}

}  // namespace

char* copy_field(std::int16_t n, const char* text, char separator, char* buffer, int size) {
    if (size <= 0) return buffer;
    buffer[0] = '\0';
    if (n < 1 || text == nullptr) return buffer;

    if (separator != ' ') return copy_separated_field(n, text, separator, buffer, static_cast<std::size_t>(size));
    const std::size_t length = std::strlen(text);
    FieldSpan field{0, 0};
    std::size_t p = 0;
    for (int count = 0; count < n;) {
        field = next_field_blank(text, length, p);
        if (field.start == length) break;  // no further fields: the result is empty
        ++count;
        if (field.end != length) ++field.end;  // step over separator or closing quote
        p = field.end;
    }

    std::size_t count_chars = field.end - field.start;
    if (count_chars == 0) return buffer;
    if (count_chars + 1 > static_cast<std::size_t>(size)) count_chars = static_cast<std::size_t>(size) - 1;
    // The blank test looks at the field's real end even after a cut.
    if (is_blank_or_tab(text[field.end - 1])) {
        if (count_chars == 0) return buffer;
        --count_chars;
    }
    std::memcpy(buffer, text + field.start, count_chars);
    buffer[count_chars] = '\0';
    return buffer;
}

const char* field_at(std::int16_t n, const char* text, char separator) {
    return copy_field(n, text, separator, field_buffer, kFieldBufferSize);
}

std::int16_t is_blank(const char* text) {
    if (text == nullptr) return 1;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c != ' ') return 0;
    }
    return 1;
}

char* trim_to_one_blank(char* text) {
    if (text == nullptr) return text;
    std::size_t length = std::strlen(text);
    std::size_t kept = length;  // characters up to and including the last non-blank
    while (kept > 0 && text[kept - 1] == ' ') --kept;
    if (kept == 0) {
        text[0] = '\0';
    } else if (kept + 1 < length) {
        text[kept + 1] = '\0';
    }
    return text;
}

char* trim_right(char* text) {
    trim_to_one_blank(text);
    if (text == nullptr || text[0] == '\0') return text;
    std::size_t length = std::strlen(text);
    if (text[length - 1] == ' ') text[length - 1] = '\0';
    return text;
}

std::int32_t read_int(const char* text) {
    if (text == nullptr) return 0;
    const char* c = text;
    while (*c == ' ' || (*c >= '\t' && *c <= '\r')) ++c;
    bool negative = false;
    if (*c == '+' || *c == '-') negative = *c++ == '-';
    long long value = 0;  // kept within the 32-bit range plus one, so it cannot overflow
    // Nine digits cannot pass the limit: only longer numbers are checked digit by digit.
    const char* unchecked_end = c + 9;
    for (; c != unchecked_end; ++c) {
        const unsigned digit = static_cast<unsigned char>(*c) - unsigned{'0'};
        if (digit > 9) break;
        value = value * 10 + digit;
    }
    const long long limit = negative ? -static_cast<long long>(INT32_MIN) : INT32_MAX;
    for (; *c >= '0' && *c <= '9'; ++c) {
        value = value * 10 + (*c - '0');
        if (value > limit) value = limit;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

int leading_number(const char* text, std::int16_t n) {
    if (text == nullptr || n <= 0) return 0;
    char work[kLeadingBufferSize];
    const std::size_t count = n < kLeadingBufferSize ? static_cast<std::size_t>(n)
                                                     : static_cast<std::size_t>(kLeadingBufferSize - 1);
    copy_text(work, count + 1, text);
    return read_int(work);
}

void copy_text(char* dest, std::size_t size, const char* source) {
    if (size == 0) return;
    std::size_t length = 0;
    if (source != nullptr) length = strnlen(source, size - 1);
    if (length > 0) std::memcpy(dest, source, length);
    dest[length] = '\0';
}

}  // namespace qx::text
