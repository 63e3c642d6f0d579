// Escaping and unescaping of texts written one per line.
#include "support/line_escape.h"

namespace qx::text {

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
            default: out += c;
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
            default: return false;
        }
    }
    return true;
}

}  // namespace qx::text
