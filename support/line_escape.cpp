// Escaping and unescaping of texts written one per line.
#include "support/line_escape.h"

#include <array>

#include "support/utf8.h"

namespace qx::text {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kDelete = 0x7F;

// Which bytes escape_append writes as an escape: the control bytes and the backslash.
// A table: a log line of a booking is looked through byte by byte.
constexpr auto kEscaped = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < ' '; ++c) table[static_cast<std::size_t>(c)] = true;
    table[static_cast<unsigned char>(kDelete)] = true;
    table['\\'] = true;
    return table;
}();

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void append_hex(unsigned char byte, std::string* out) {
    const char hex[4] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    out->append(hex, sizeof hex);
}

// True when the valid UTF-8 sequence of `length` bytes at `sequence` is a C1 control.
bool is_c1(const char* sequence, std::size_t length) {
    return length == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
           static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

}  // namespace

void escape_append(std::string_view text, std::string* out_text) {
    std::string& out = *out_text;
    out.reserve(out.size() + text.size());
    std::size_t run = 0;  // start of the bytes not yet appended, none of which needs escaping
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!kEscaped[static_cast<unsigned char>(c)]) continue;
        out.append(text.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\0': out += "\\0"; break;
            default: append_hex(static_cast<unsigned char>(c), &out);
        }
    }
    out.append(text.data() + run, text.size() - run);
}

void escape_for_terminal_append(std::string_view text, std::string* out) {
    std::size_t run = 0;  // start of the bytes of 0x00-0x7F not yet escaped or appended
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            ++i;
            continue;
        }
        escape_append(text.substr(run, i - run), out);
        const std::size_t length = utf8_sequence_length(text.substr(i));
        if (length != 0 && !is_c1(text.data() + i, length)) {
            out->append(text.substr(i, length));
        } else {
            for (std::size_t k = 0; k < (length != 0 ? length : 1); ++k) {
                append_hex(static_cast<unsigned char>(text[i + k]), out);
            }
        }
        i += length != 0 ? length : 1;
        run = i;
    }
    escape_append(text.substr(run), out);
}

std::string escape(std::string_view text) {
    std::string out;
    escape_append(text, &out);
    return out;
}

bool unescape(std::string_view text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case '\\': *out += '\\'; break;
            case 't': *out += '\t'; break;
            case 'n': *out += '\n'; break;
            case 'r': *out += '\r'; break;
            case '0': *out += '\0'; break;
            case 'x': {
                if (text.size() - i < 3) return false;
                const int high = hex_value(text[i + 1]);
                const int low = hex_value(text[i + 2]);
                if (high < 0 || low < 0) return false;
                *out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return true;
}

}  // namespace qx::text
