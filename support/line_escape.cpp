// Escaping and unescaping of texts written one per line.
#include "support/line_escape.h"

namespace qx::text {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kDelete = 0x7F;

bool is_control(char c) { return (c >= 0 && c < ' ') || c == kDelete; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\0': out += "\\0"; break;
            default:
                if (is_control(c)) {
                    const auto byte = static_cast<unsigned char>(c);
                    out += "\\x";
                    out += kHexDigits[byte >> 4];
                    out += kHexDigits[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
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
