// Checked printf-style formatting: parse, rebuild each conversion, then snprintf (plain
// integer conversions are written here).
#include "support/safe_format.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace qx::fmt {
namespace {

enum class Kind { Text, Signed, Unsigned, Char, Floating };

// One parsed conversion, rebuilt into a format whose argument type is ours to pick.
struct Conversion {
    char rebuilt[32];     // "%" flags width .precision length conversion, NUL-terminated
    Kind kind;            // what the rebuilt format takes as its argument
    const char* next;  // first format character after the conversion
    bool plain;        // %d or %i with no flag but 0 and no precision: written here
    bool zeros;        // (plain) with the 0 flag
    int width;
    int precision;     // -1: none
    char flags[6];     // the flags kept, NUL-terminated
    char conversion;   // the conversion letter
};

bool kind_of(char conversion, Kind* kind) {
    if (conversion == '\0') return false;
    if (std::strchr("di", conversion) != nullptr) {
        *kind = Kind::Signed;
    } else if (std::strchr("ouxX", conversion) != nullptr) {
        *kind = Kind::Unsigned;
    } else if (conversion == 'c') {
        *kind = Kind::Char;
    } else if (conversion == 's') {
        *kind = Kind::Text;
    } else if (std::strchr("fFeEgG", conversion) != nullptr) {
        *kind = Kind::Floating;
    } else {
        return false;
    }
    return true;
}

// Reads a decimal width or precision; false if it exceeds kMaxWidth.
bool read_bound(const char** p, int* value) {
    *value = 0;
    for (; **p >= '0' && **p <= '9'; ++*p) {
        *value = *value * 10 + (**p - '0');
        if (*value > kMaxWidth) return false;
    }
    return true;
}

// Flags that have a defined meaning for the conversion; the others are dropped so that
// the rebuilt format is valid C (and pads the same on every C runtime: some C runtimes
// give a space or a sign to an unsigned conversion).
bool flag_allowed(char flag, Kind kind) {
    switch (flag) {
        case '#': return kind == Kind::Unsigned || kind == Kind::Floating;
        case '0': return kind != Kind::Text && kind != Kind::Char;
        case '+':
        case ' ': return kind == Kind::Signed || kind == Kind::Floating;
        default: return true;
    }
}

// Writes "%" flags width .precision (ll) conversion into `out` (32 bytes), the flag
// `without` left out.
void rebuild(const Conversion& c, int precision, char without, char* out) {
    char* const end = out + 32;
    char* r = out;
    *r++ = '%';
    for (const char* f = c.flags; *f != '\0'; ++f) {
        if (*f != without) *r++ = *f;
    }
    if (c.width > 0) r = std::to_chars(r, end, c.width).ptr;
    if (precision >= 0) {
        *r++ = '.';
        r = std::to_chars(r, end, precision).ptr;
    }
    if (c.kind == Kind::Signed || c.kind == Kind::Unsigned) {
        *r++ = 'l';
        *r++ = 'l';
    }
    *r++ = c.conversion;
    *r = '\0';
}

// Parses the conversion that starts at `p` (just after its "%") and rebuilds it.
bool parse_conversion(const char* p, Conversion* out) {
    const char* flags = p;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    const char* flags_end = p;
    int width = 0;
    int precision = -1;
    if (!read_bound(&p, &width)) return false;
    if (*p == '.') {
        ++p;
        if (!read_bound(&p, &precision)) return false;
    }
    if (*p == 'h' || *p == 'l') p += (p[1] == p[0]) ? 2 : 1;
    if (!kind_of(*p, &out->kind)) return false;

    // "%" + up to 5 distinct flags + width + ".precision" + "ll" + conversion fits 32.
    std::size_t kept = 0;
    out->flags[0] = '\0';
    for (const char* f = flags; f < flags_end; ++f) {
        if (flag_allowed(*f, out->kind) && std::strchr(out->flags, *f) == nullptr) {
            out->flags[kept++] = *f;
            out->flags[kept] = '\0';
        }
    }
    if (out->kind == Kind::Char) precision = -1;  // a precision means nothing for %c
    out->width = width;
    out->precision = precision;
    out->conversion = *p;
    out->plain = out->kind == Kind::Signed && precision < 0 && (kept == 0 || (kept == 1 && out->flags[0] == '0'));
    out->zeros = kept == 1;
    rebuild(*out, precision, '\0', out->rebuilt);
    out->next = p + 1;
    return true;
}

// An unsigned conversion of `value`. "#" with a precision is settled here as C says,
// where C runtimes differ: with o it raises the precision just enough for a leading 0
// (so 0 with precision 0 gives "0"), with x and X it adds nothing to 0. (With a
// precision the 0 flag means nothing, so the precision may be raised.)
int write_unsigned(char* out, std::size_t room, const Conversion& c, std::uint32_t value) {
    const auto number = static_cast<unsigned long long>(value);
    if (c.precision < 0 || std::strchr(c.flags, '#') == nullptr || (c.conversion != 'o' && value != 0)) {
        return std::snprintf(out, room, c.rebuilt, number);
    }
    int precision = c.precision;
    if (c.conversion == 'o') {
        int digits = 1;
        for (std::uint32_t rest = value >> 3; rest != 0; rest >>= 3) ++digits;
        const int needed = value != 0 ? digits + 1 : 1;
        if (precision < needed) precision = needed;
    }
    char format[32];
    rebuild(c, precision, '#', format);
    return std::snprintf(out, room, format, number);
}

// Appends the conversion written with `arg` at out[*pos], bounded by size.
void write_conversion(char* out, std::size_t size, std::size_t* pos, const Conversion& c,
                      const FormatArg& arg) {
    char number_text[16];
    std::size_t room = size - *pos;
    int n = 0;
    switch (c.kind) {
        case Kind::Signed:
            if (c.plain) {
                n = static_cast<int>(write_plain_integer(arg.number, c.width, c.zeros, out + *pos, room));
            } else {
                n = std::snprintf(out + *pos, room, c.rebuilt, static_cast<long long>(arg.number));
            }
            break;
        case Kind::Unsigned: n = write_unsigned(out + *pos, room, c, static_cast<std::uint32_t>(arg.number)); break;
        case Kind::Char: n = std::snprintf(out + *pos, room, c.rebuilt, static_cast<int>(arg.number)); break;
        case Kind::Floating: n = std::snprintf(out + *pos, room, c.rebuilt, static_cast<double>(arg.number)); break;
        case Kind::Text:
            if (arg.text == nullptr) std::snprintf(number_text, sizeof number_text, "%d", static_cast<int>(arg.number));
            n = std::snprintf(out + *pos, room, c.rebuilt, arg.text != nullptr ? arg.text : number_text);
            break;
    }
    if (n < 0) n = 0;
    *pos += static_cast<std::size_t>(n) < room ? static_cast<std::size_t>(n) : room - 1;
}

}  // namespace

std::size_t write_plain_integer(long long value, int width, bool zeros, char* out, std::size_t size) {
    char digits[24];
    const bool negative = value < 0;
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    const std::size_t count = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
    const std::size_t length = count + (negative ? 1 : 0);
    const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > length ? static_cast<std::size_t>(width) - length : 0;
    if (size == 0) return length + pad;
    std::size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 < size) out[n] = c;
        ++n;
    };
    if (!zeros) {
        for (std::size_t i = 0; i < pad; ++i) put(' ');
    }
    if (negative) put('-');
    if (zeros) {
        for (std::size_t i = 0; i < pad; ++i) put('0');
    }
    for (std::size_t i = 0; i < count; ++i) put(digits[i]);
    out[n < size ? n : size - 1] = '\0';
    return n;
}

bool format_checked(char* out, std::size_t size, const char* format, const FormatArg* args,
                    int arg_count) {
    if (size == 0) return false;
    out[0] = '\0';
    if (format == nullptr) return false;
    std::size_t pos = 0;
    int used = 0;
    for (const char* p = format; *p != '\0';) {
        if (p[0] == '%' && p[1] == '%') {
            p += 2;
        } else if (p[0] == '%') {
            Conversion conversion;
            if (used == arg_count || !parse_conversion(p + 1, &conversion)) {
                out[0] = '\0';
                return false;
            }
            write_conversion(out, size, &pos, conversion, args[used++]);
            p = conversion.next;
            continue;
        } else {
            ++p;
        }
        if (pos + 1 < size) out[pos++] = p[-1];
        out[pos] = '\0';
    }
    return true;
}

}  // namespace qx::fmt
