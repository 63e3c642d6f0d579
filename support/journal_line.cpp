// Writing and reading booking journal lines.
#include "support/journal_line.h"

#include <cstdio>

#include "support/utf8.h"

namespace qx::journal {
namespace {

using text::is_utf8;
using text::utf8_sequence_length;

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kBase64Suffix = "_base64";
constexpr int kCardField = 7;
constexpr int kFunctionKeyField = 4;
constexpr int kDateField = 5;
constexpr int kTimeField = 6;
constexpr long kSecondsPerDay = 86400;
constexpr long kSecondsPerMinute = 60;
constexpr long kMinutesPerHour = 60;

// `text` (valid UTF-8) as a JSON string: `"` and `\` escaped, control bytes \u00XX.
void append_json_string(std::string_view text, std::string* out) {
    *out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            *out += '\\';
            *out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            const char escaped[6] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
            out->append(escaped, sizeof escaped);
        } else {
            *out += c;
        }
    }
    *out += '"';
}

// `bytes` in base64 (RFC 4648, with padding) as a JSON string.
void append_base64(std::string_view bytes, std::string* out) {
    *out += '"';
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const auto at = [&](std::size_t k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
        const unsigned group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        const std::size_t digits = bytes.size() - i >= 3 ? 4 : bytes.size() - i + 1;
        for (std::size_t k = 0; k < 4; ++k) *out += k < digits ? kBase64Digits[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    *out += '"';
}

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// Decodes base64 text (RFC 4648, padding required) into `out`. False when it is not.
bool decode_base64(std::string_view text, std::string* out) {
    out->clear();
    if (text.size() % 4 != 0) return false;
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with("=") ? 1 : 0;
    unsigned group = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int value = i < text.size() - padding ? base64_value(text[i]) : 0;
        if (value < 0) return false;
        group = group << 6 | static_cast<unsigned>(value);
        if (i % 4 == 3) {
            const char bytes[3] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8), static_cast<char>(group)};
            out->append(bytes, i + 1 == text.size() ? 3 - padding : 3);
            group = 0;
        }
    }
    return true;
}

void append_utf8(unsigned long code_point, std::string* out) {
    if (code_point < 0x800) {
        *out += static_cast<char>(0xC0 | (code_point >> 6));
    } else if (code_point < 0x10000) {
        *out += static_cast<char>(0xE0 | (code_point >> 12));
        *out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code_point >> 18));
        *out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    }
    *out += static_cast<char>(0x80 | (code_point & 0x3F));
}

// A reader of one line of JSON: an object whose values are strings.
class LineReader {
  public:
    explicit LineReader(std::string_view line) : line_(line) {}

    // Skips blanks, then takes `c`.
    bool take(char c) {
        skip_blanks();
        if (at_ != line_.size() && line_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool at_end() {
        skip_blanks();
        return at_ == line_.size();
    }

    // Reads a JSON string into `out`: \u0000-\u00ff as one byte each, other escapes as
    // UTF-8. Returns an empty text, or the reason it is not a valid string.
    std::string string(std::string* out) {
        out->clear();
        if (!take('"')) return "a string was expected";
        while (at_ < line_.size()) {
            const auto byte = static_cast<unsigned char>(line_[at_]);
            if (byte == '"') {
                ++at_;
                return {};
            }
            if (byte < 0x20) return "a control byte inside a string";
            if (byte == '\\') {
                if (std::string problem = escape(out); !problem.empty()) return problem;
            } else if (byte < 0x80) {
                *out += line_[at_++];
            } else {
                const std::size_t length = utf8_sequence_length(line_.substr(at_));
                if (length == 0) return "bytes that are not UTF-8";
                out->append(line_.substr(at_, length));
                at_ += length;
            }
        }
        return "a string without its end";
    }

    // Reads a whole number of up to 18 digits into `out` (its digits), or null (""). False
    // when it is neither.
    bool number_or_null(std::string* out) {
        out->clear();
        skip_blanks();
        if (line_.substr(at_, 4) == "null") {
            at_ += 4;
            return true;
        }
        while (at_ < line_.size() && line_[at_] >= '0' && line_[at_] <= '9' && out->size() < 18) *out += line_[at_++];
        return !out->empty();
    }

  private:
    void skip_blanks() {
        while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t' || line_[at_] == '\r')) ++at_;
    }

    // Four hex digits after "\u", or -1.
    long hex4() {
        if (line_.size() - at_ < 4) return -1;
        long value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = line_[at_++];
            const int digit = c >= '0' && c <= '9' ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
            if (digit < 0) return -1;
            value = value * 16 + digit;
        }
        return value;
    }

    std::string escape(std::string* out) {
        ++at_;  // the backslash
        if (at_ == line_.size()) return "a string without its end";
        const char c = line_[at_++];
        static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        if (const std::size_t k = kFrom.find(c); k != std::string_view::npos) {
            *out += kTo[k];
            return {};
        }
        if (c != 'u') return "an unknown escape";
        long code = hex4();
        if (code < 0) return "\\u without four hex digits";
        if (code <= 0xFF) {
            *out += static_cast<char>(code);  // one byte, as the journal writes bytes
            return {};
        }
        if (code >= 0xDC00 && code <= 0xDFFF) return "a lone surrogate";
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (line_.substr(at_, 2) != "\\u") return "a lone surrogate";
            at_ += 2;
            const long low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) return "a lone surrogate";
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(static_cast<unsigned long>(code), out);
        return {};
    }

    std::string_view line_;
    std::size_t at_ = 0;
};

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar. (The
// calendar's day_number applies the century window, which would put 2025 and 2026 a
// century apart: no use for the difference of local time and UTC.)
long days_from_civil(long year, long month, long day) {
    year -= month <= 2 ? 1 : 0;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const long year_of_era = year - era * 400;
    const long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

long seconds_of(const std::tm& t) {
    return days_from_civil(t.tm_year + 1900L, t.tm_mon + 1L, t.tm_mday) * kSecondsPerDay +
           (t.tm_hour * kMinutesPerHour + t.tm_min) * kSecondsPerMinute + t.tm_sec;
}

}  // namespace

std::string_view request_field(std::string_view request, int n) {
    std::size_t start = 0;
    for (int i = 1; i < n; ++i) {
        const std::size_t comma = request.find(',', start);
        if (comma == std::string_view::npos) return {};
        start = comma + 1;
    }
    return request.substr(start, request.find(',', start) - start);
}

std::string received_time_text(std::time_t seconds, int milliseconds) {
    // The server is one thread: the C library's shared results are not raced.
    const std::tm local = *std::localtime(&seconds);
    const long offset_minutes = (seconds_of(local) - seconds_of(*std::gmtime(&seconds))) / kSecondsPerMinute;
    const long offset = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, milliseconds,
                  offset_minutes < 0 ? '-' : '+', offset / kMinutesPerHour, offset % kMinutesPerHour);
    return text;
}

std::string journal_line(std::string_view request, std::string_view received, const Origin* origin) {
    std::string line;
    line.reserve(request.size() * 2 + 128);
    const auto key = [&](const char* name, std::string_view value) {
        const bool text = is_utf8(value);
        line += line.empty() ? "{\"" : ",\"";
        line += name;
        if (!text) line += kBase64Suffix;
        line += "\":";
        text ? append_json_string(value, &line) : append_base64(value, &line);
    };
    key("received", received);
    key("card", request_field(request, kCardField));
    key("fkey", request_field(request, kFunctionKeyField));
    key("date", request_field(request, kDateField));
    key("time", request_field(request, kTimeField));
    key("request", request);
    if (origin != nullptr) {
        key("peer", origin->peer);
        line += ",\"terminal\":" + (origin->terminal < 0 ? std::string("null") : std::to_string(origin->terminal));
    }
    return line + "}\n";
}

bool read_journal_line(std::string_view line, Booking* booking, std::string* problem) {
    struct Key {
        const char* name;
        std::string* value;
        bool seen;
    } keys[] = {{"received", &booking->received, false}, {"card", &booking->card, false},
                {"fkey", &booking->fkey, false},         {"date", &booking->date, false},
                {"time", &booking->time, false},         {"request", &booking->request, false}};
    LineReader reader(line);
    const auto fail = [&](std::string why) {
        *problem = std::move(why);
        return false;
    };
    if (!reader.take('{')) return fail("not a JSON object");
    booking->peer.clear();
    booking->terminal.clear();
    std::string name, value;
    for (bool first = true; !reader.take('}'); first = false) {
        if (!first && !reader.take(',')) return fail("',' or '}' was expected");
        if (std::string why = reader.string(&name); !why.empty()) return fail(why);
        if (!reader.take(':')) return fail("':' was expected");
        if (name == "terminal") {
            if (!reader.number_or_null(&booking->terminal)) return fail("\"terminal\" is not a number or null");
            continue;
        }
        if (std::string why = reader.string(&value); !why.empty()) return fail(why);
        if (name == "peer") booking->peer = value;
        const bool base64 = name.size() > kBase64Suffix.size() && name.ends_with(kBase64Suffix);
        if (base64) name.resize(name.size() - kBase64Suffix.size());
        for (Key& key : keys) {
            if (name != key.name) continue;
            if (key.seen) return fail("\"" + name + "\" is given twice");
            key.seen = true;
            *key.value = value;
            if (base64 && !decode_base64(value, key.value)) return fail("\"" + name + "_base64\" is not base64");
        }
    }
    if (!reader.at_end()) return fail("text after the object");
    for (const Key& key : keys) {
        if (!key.seen) return fail(std::string("\"") + key.name + "\" is missing");
    }
    const std::string_view request = booking->request;
    if (request.find('\0') != std::string_view::npos) return fail("the request holds a NUL");
    if (booking->card != request_field(request, kCardField) || booking->fkey != request_field(request, kFunctionKeyField) ||
        booking->date != request_field(request, kDateField) || booking->time != request_field(request, kTimeField)) {
        return fail("its fields are not those of its request");
    }
    return true;
}

}  // namespace qx::journal
