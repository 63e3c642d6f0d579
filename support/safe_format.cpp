// Checked printf-style formatting: parse, rebuild each conversion, then snprintf.
#include "support/safe_format.h"

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
// the rebuilt format is valid C (and pads the same on every C runtime).
bool flag_allowed(char flag, Kind kind) {
    switch (flag) {
        case '#': return kind == Kind::Unsigned || kind == Kind::Floating;
        case '0': return kind != Kind::Text && kind != Kind::Char;
        default: return true;
    }
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
    char kept_flags[6] = {};
    std::size_t kept = 0;
    for (const char* f = flags; f < flags_end; ++f) {
        if (flag_allowed(*f, out->kind) && std::strchr(kept_flags, *f) == nullptr) kept_flags[kept++] = *f;
    }
    if (out->kind == Kind::Char) precision = -1;  // a precision means nothing for %c
    const bool integer = out->kind == Kind::Signed || out->kind == Kind::Unsigned;
    char width_text[8] = "";
    char precision_text[8] = "";
    if (width > 0) std::snprintf(width_text, sizeof width_text, "%d", width);
    if (precision >= 0) std::snprintf(precision_text, sizeof precision_text, ".%d", precision);
    std::snprintf(out->rebuilt, sizeof out->rebuilt, "%%%s%s%s%s%c", kept_flags, width_text,
                  precision_text, integer ? "ll" : "", *p);
    out->next = p + 1;
    return true;
}

// Appends the conversion written with `arg` at out[*pos], bounded by size.
void write_conversion(char* out, std::size_t size, std::size_t* pos, const Conversion& c,
                      const FormatArg& arg) {
    char number_text[16];
    std::size_t room = size - *pos;
    int n = 0;
    switch (c.kind) {
        case Kind::Signed: n = std::snprintf(out + *pos, room, c.rebuilt, static_cast<long long>(arg.number)); break;
        case Kind::Unsigned:
            n = std::snprintf(out + *pos, room, c.rebuilt,
                              static_cast<unsigned long long>(static_cast<std::uint32_t>(arg.number)));
            break;
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
