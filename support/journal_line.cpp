// Writing and reading booking journal lines.
#include "support/journal_line.h"

#include <cstdio>

namespace qx::journal {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr int kCardField = 7;
constexpr int kFunctionKeyField = 4;
constexpr int kDateField = 5;
constexpr int kTimeField = 6;
constexpr long kSecondsPerDay = 86400;
constexpr long kSecondsPerMinute = 60;
constexpr long kMinutesPerHour = 60;

// The length of the valid UTF-8 sequence of two or more bytes at the start of `text`,
// or 0 (a lone byte, a sequence cut short, an overlong form, a surrogate, or a code
// point over U+10FFFF).
std::size_t utf8_sequence_length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    const unsigned lead = byte(0);
    std::size_t length;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing over U+10FFFF
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

void append_json_string(std::string_view text, std::string* out) {
    *out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte == '\\') {
            *out += '\\';
            *out += text[i++];
        } else if (byte >= 0x20 && byte < 0x7F) {
            *out += text[i++];
        } else if (const std::size_t length = byte >= 0x80 ? utf8_sequence_length(text.substr(i)) : 0) {
            out->append(text.substr(i, length));
            i += length;
        } else {
            const char escaped[6] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
            out->append(escaped, sizeof escaped);
            ++i;
        }
    }
    *out += '"';
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

std::string journal_line(std::string_view request, std::string_view received) {
    std::string line;
    line.reserve(request.size() * 2 + 128);
    const auto key = [&](const char* name, std::string_view value) {
        line += line.empty() ? "{\"" : ",\"";
        line += name;
        line += "\":";
        append_json_string(value, &line);
    };
    key("received", received);
    key("card", request_field(request, kCardField));
    key("fkey", request_field(request, kFunctionKeyField));
    key("date", request_field(request, kDateField));
    key("time", request_field(request, kTimeField));
    key("request", request);
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
    std::string name, value;
    for (bool first = true; !reader.take('}'); first = false) {
        if (!first && !reader.take(',')) return fail("',' or '}' was expected");
        if (std::string why = reader.string(&name); !why.empty()) return fail(why);
        if (!reader.take(':')) return fail("':' was expected");
        if (std::string why = reader.string(&value); !why.empty()) return fail(why);
        for (Key& key : keys) {
            if (name != key.name) continue;
            if (key.seen) return fail("\"" + name + "\" is given twice");
            key.seen = true;
            *key.value = value;
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
