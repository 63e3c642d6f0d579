// Minute counts and packed dates written as display texts.
#include "support/datetime/date_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/catalogue.h"
#include "support/datetime/calendar.h"
#include "support/text.h"
#include "support/safe_format.h"

namespace qx::datetime {
namespace {

constexpr char kEngDateVariable[] = "QX_ENGDATE";
constexpr char kNamesCatalogue[] = "dta/gen.msg";
constexpr int kWeekdayMessages = 116;  // + weekday 1 (Monday) to 7
constexpr int kMonthMessages = 103;    // + month 1 to 12

// The weekday or month name codes: the name read from the catalogue, cut or trimmed.
bool name_text(std::int32_t date, const char* code, char* buffer, std::size_t size) {
    const bool weekday = std::strcmp(code, "dd") == 0 || std::strcmp(code, "ddl") == 0;
    const bool month = std::strcmp(code, "mm") == 0 || std::strcmp(code, "mml") == 0;
    if (!weekday && !month) return false;
    const int number = weekday ? kWeekdayMessages + date_part(date, "dw") : kMonthMessages + date_part(date, "mm");
    char message[catalogue::kMessageBufferSize];
    catalogue::rtekst(kNamesCatalogue, message, static_cast<std::int16_t>(number));
    if (std::strcmp(code, "dd") == 0) {
        message[2] = '\0';
    } else if (std::strcmp(code, "mm") == 0) {
        message[3] = '\0';
    } else {
        text::trim_to_one_blank(message);
    }
    text::copy_text(buffer, size, message);
    return true;
}

// Blanks the zeros in front of the hours' last two characters (see minutes_text).
void blank_leading_zeros(char* text) {
    const char* colon = std::strrchr(text, ':');
    const std::ptrdiff_t colon_at = (colon != nullptr && colon != text) ? colon - text : 0;
    for (std::ptrdiff_t i = 0; i < colon_at - 2; ++i) {
        if (text[i] == '0') text[i] = ' ';
        if (text[i] != ' ' && text[i] != '+' && text[i] != '-') break;
    }
}

}  // namespace

char* minutes_text(std::int32_t count, const char* format, char* buffer, std::size_t size) {
    if (size == 0) return buffer;
    const bool negative = count < 0;
    const long long magnitude = negative ? -static_cast<long long>(count) : count;
    const fmt::FormatArg args[2] = {
        {nullptr, static_cast<std::int32_t>(magnitude / 60)},
        {nullptr, static_cast<std::int32_t>(magnitude % 60)},
    };
    if (!fmt::format_checked(buffer, size, format, args, 2)) return buffer;
    if (negative) {
        for (char* c = buffer; *c != '\0'; ++c) {
            if (*c == '+') *c = '-';
        }
    }
    blank_leading_zeros(buffer);
    return buffer;
}

char* date_text(std::int32_t date, const char* code, char* buffer, std::size_t size) {
    if (size == 0) return buffer;
    buffer[0] = '\0';
    if (date <= 0 || code == nullptr) return buffer;
    if (name_text(date, code, buffer, size)) return buffer;
    int year_width = 0;
    const char* year_code = nullptr;
    if (std::strcmp(code, "dmj") == 0) {
        year_width = 2;
        year_code = "jj";
    } else if (std::strcmp(code, "dmjl") == 0) {
        year_width = 4;
        year_code = "jjl";
    } else {
        return buffer;
    }
    const int day = date_part(date, "dd");
    const int month = date_part(date, "mm");
    const int year = date_part(date, year_code);
    const bool month_first = std::getenv(kEngDateVariable) != nullptr;  // read at every call
    // "%02d-%02d-%02d" (or %04d for the year), written as snprintf writes it, cut to size.
    char text[3 * 24];
    std::size_t n = fmt::write_plain_integer(month_first ? month : day, 2, true, text, 24);
    text[n++] = '-';
    n += fmt::write_plain_integer(month_first ? day : month, 2, true, text + n, 24);
    text[n++] = '-';
    n += fmt::write_plain_integer(year, year_width, true, text + n, 24);
    text::copy_text(buffer, size, text);
    return buffer;
}

}  // namespace qx::datetime
