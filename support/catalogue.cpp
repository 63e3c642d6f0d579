// Message catalogue lookup.
#include "support/catalogue.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/files.h"
#include "support/file_table.h"
#include "support/language_names.h"
#include "support/path_search.h"
#include "support/text.h"

namespace qx::catalogue {
namespace {

constexpr std::size_t kNameSize = 256;
constexpr int kTextEnd = 78;  // a record's text is bytes 0-77, its code bytes 78-79

// Writes a failure text into the caller's buffer, cut to its 80 bytes.
void write_failure(char* buffer, const char* format, const char* name, int number) {
    char text[kNameSize + 64];
    std::snprintf(text, sizeof text, format, name, number);
    text::copy_text(buffer, kMessageBufferSize, text);
}

void cannot_open(char* buffer, const char* name, int number) {
    write_failure(buffer, "  Can't open %s, msgnr = %d ", name, number);
}

bool fits(const char* name) { return std::strlen(name) < kNameSize; }

}  // namespace

std::int16_t read_text_message(const char* name, char* buffer, std::int16_t number) {
    char path[kNameSize];
    text::copy_text(path, sizeof path, name);
    platform::TextFile* file = fits(name) ? paths::rfopen(path, "r") : nullptr;
    if (file == nullptr) {
        cannot_open(buffer, name, number);
        return kTextCode;
    }
    buffer[0] = '\0';
    char line[kMessageBufferSize];
    for (int left = number; left > 0; --left) {
        if (!platform::text_read_line(file, line, sizeof line)) break;
        std::memcpy(buffer, line, std::strlen(line) + 1);
    }
    const std::string_view message(buffer);
    if (message.ends_with('\n')) buffer[message.size() - 1] = '\0';
    platform::text_close(file);
    return kTextCode;
}

std::int16_t rtekst(const char* name, char* buffer, std::int16_t number) {
    char mapped[kNameSize];
    if (!fits(name)) {
        cannot_open(buffer, name, number);
        return std::strncmp(name, "tab", 3) == 0 ? kTextCode : kFailureCode;
    }
    if (std::strncmp(name, "dta/qxc", 7) == 0) {
        text::copy_text(mapped, sizeof mapped, name);
    } else {
        lang::rgetlan_nam(name, mapped, sizeof mapped);
    }
    if (std::strncmp(name, "tab", 3) == 0) return read_text_message(mapped, buffer, number);

    std::int16_t code = kFailureCode;
    const std::int16_t handle = table::table_open(mapped, "r");
    const std::int64_t position = (static_cast<std::int64_t>(number) - 1) * kRecordLength;
    if (handle < 0) {
        cannot_open(buffer, mapped, number);
    } else if (number < 1 || platform::file_seek(handle, position) != position ||
               platform::file_read(handle, buffer, kRecordLength) != kRecordLength) {
        write_failure(buffer, "  Msgfile %s; error in message. Msgnr = %d.", name, number);
    } else {
        code = static_cast<std::int16_t>(text::leading_number(buffer + kTextEnd, 2));
    }
    buffer[kTextEnd] = '\0';
    return code;
}

}  // namespace qx::catalogue
