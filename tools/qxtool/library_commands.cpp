// The commands of qxtool that run one support-library operation (library_commands.h).
#include "tools/qxtool/library_commands.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "support/catalogue.h"
#include "support/datetime/date_text.h"
#include "support/format.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "support/line_escape.h"
#include "support/path_search.h"
#include "support/text.h"
#include "tools/qxtool/progress.h"
#include "visibility/records.h"

namespace qx::tool {
namespace {

using text::escape;

constexpr std::size_t kTextBufferSize = 1024;  // room for any date or minute text
constexpr long long kMaxRecordLength = 1 << 20; // the largest record qxtool reads

}  // namespace

std::string number(long long value) { return std::to_string(value); }

std::string run_copy_field(const Args& a) {
    const std::int16_t n = int16_arg(a, 1, "N");
    const char separator = separator_arg(a, 3);
    const int size = int32_arg(a, 4, "SIZE");
    // A field never needs more than the text's length plus a terminator, so a buffer of
    // that size gives the same result as any larger one.
    const int needed = static_cast<int>(std::min<std::size_t>(a[2].size() + 1, INT32_MAX));
    std::string buffer(static_cast<std::size_t>(std::max(std::min(size, needed), 1)), '\0');
    text::copy_field(n, a[2].c_str(), separator, buffer.data(), std::min(size, needed));
    return std::string(buffer.c_str());  // the text up to its terminator
}

std::string run_minutes(const Args& a) {
    char buffer[kTextBufferSize];
    return datetime::minutes_text(int32_arg(a, 1, "COUNT"), a[2].c_str(), buffer, sizeof buffer);
}

std::string run_date(const Args& a) {
    char buffer[kTextBufferSize];
    return datetime::date_text(int32_arg(a, 1, "DATE"), a[2].c_str(), buffer, sizeof buffer);
}

std::string run_trim(const Args& a, bool to_one_blank) {
    std::string buffer = buffer_arg(a, 1, 1);
    return to_one_blank ? text::trim_to_one_blank(buffer.data()) : text::trim_right(buffer.data());
}

std::string run_norm(const Args& a) {
    std::string format = buffer_arg(a, 1, 6);
    return text::normalise_format(format.data());
}

std::string run_format(const Args& a) {
    std::string format = buffer_arg(a, 2, 6);
    return text::format_value(a[1].c_str(), format.data());
}

std::string run_dirs(const Args&, std::ostream* lines) {
    const std::string root = dirs::rgetbase();
    const std::string home = dirs::get_home_dir();
    const std::string found = "root " + root + " (" + dirs::root_origin() + "); home " + home + " (" +
                              dirs::home_origin() + ")";
    const std::string problem = platform::registry_problem();
    if (problem.empty()) return found;
    if (lines == nullptr) return found + "\n" + problem;
    *lines << escape(found) << '\n';
    return problem;
}

std::string run_reg(const Args& a, std::ostream* lines) {
    platform::RegistryKey* key = nullptr;
    if (platform::registry_open(a[1].c_str(), &key) != platform::kRegSuccess) {
        const std::string problem = platform::registry_problem();
        return "no key" + (problem.empty() ? "" : ": " + problem);
    }
    std::string out;
    unsigned long index = 0;
    for (;; ++index) {
        char name[16384];
        unsigned char data[65536];
        unsigned long name_size = sizeof name;
        unsigned long data_size = sizeof data;
        if (platform::registry_enum_value(key, index, name, &name_size, data, &data_size) != platform::kRegSuccess) break;
        // The data as a text, as the library reads values (up to its first NUL).
        const auto* text = reinterpret_cast<const char*>(data);
        const auto* nul = static_cast<const char*>(std::memchr(text, '\0', data_size));
        const std::string line = std::string(name) + "=" + std::string(text, nul != nullptr ? nul : text + data_size);
        if (lines != nullptr) {
            *lines << escape(line) << '\n';
        } else {
            out += line + "\n";
        }
    }
    platform::registry_close(key);
    return out + std::to_string(index) + " values";
}

std::string run_find(const Args& a) {
    std::string name = a[1];
    std::string result;
    bool opened = false;
    for (const std::string& path : paths::candidates(name.data())) {
        platform::TextFile* file = platform::text_open(path.c_str(), "r");
        opened = file != nullptr;
        platform::text_close(file);
        result += (result.empty() ? "" : "; ") + path + (opened ? " (opened)" : " (no)");
        if (opened) break;
    }
    return result + (opened ? "" : result.empty() ? "no candidate" : "; not found");
}

std::string run_read(const Args& a) {
    const std::int32_t record_number = int32_arg(a, 2, "N");
    const auto length = static_cast<std::int32_t>(integer_arg(a, 3, "LEN", INT32_MIN, kMaxRecordLength));
    std::string record(static_cast<std::size_t>(std::max(length, 1)), '\0');
    const int code = records::read_record(a[1].c_str(), record_number, length, record.data());
    return code == records::kReadOk ? number(code) + " " + record : number(code);
}

std::string run_scan(const Args& a, std::ostream* lines) {
    const auto length = static_cast<std::int32_t>(integer_arg(a, 2, "LEN", 1, kMaxRecordLength));
    std::vector<std::pair<std::string, std::size_t>> fields;
    for (std::size_t i = 3; i < a.size(); ++i) {
        const std::size_t colon = a[i].rfind(':');
        const Args position_arg = {"", colon == std::string::npos ? "" : a[i].substr(colon + 1)};
        if (colon == std::string::npos || colon == 0) throw UsageError{"fields are NAME:POSITION, got '" + a[i] + "'"};
        fields.emplace_back(a[i].substr(0, colon),
                            static_cast<std::size_t>(integer_arg(position_arg, 1, "POSITION", 0, length - 1)));
    }
    lang::default_language();
    std::string out;
    long visible = 0, hidden = 0, empty = 0;
    int code = 0;
    ScanProgress progress(a[1].c_str(), length);
    records::RecordScan scan(a[1].c_str(), length);
    while ((code = scan.next()) == records::kReadOk || code == records::kEmptyOrHidden) {
        progress.after(scan.number());
        const char* record = scan.record();
        if (code == records::kEmptyOrHidden) {
            (records::head_is_zero(record, length) ? empty : hidden) += 1;
            continue;
        }
        ++visible;
        out += std::to_string(scan.number());
        for (const auto& [name, position] : fields) {
            out += " " + name + "=";
            // The field up to its end of text, or to the end of the record.
            out.append(record + position, strnlen(record + position, static_cast<std::size_t>(length) - position));
        }
        out += "\n";
        if (lines != nullptr) {
            out.pop_back();
            *lines << escape(out) << '\n';
            out.clear();
        }
    }
    progress.finish(visible + hidden + empty);
    if (code != records::kShortRead) {
        out += "read ended with code " + std::to_string(code) + "\n";
    }
    return out + std::to_string(visible) + " visible, " + std::to_string(hidden) + " hidden, " +
           std::to_string(empty) + " empty";
}

std::string run_lang(const Args& a) {
    std::string out(a[1].size() + 1, '\0');
    lang::rgetlan_nam(a[1].c_str(), out.data(), out.size());
    return std::string(out.c_str()) + " " + lang::yes_letter();
}

std::string run_msg(const Args& a) {
    char buffer[catalogue::kMessageBufferSize];
    const std::int16_t code = catalogue::rtekst(a[1].c_str(), buffer, int16_arg(a, 2, "N"));
    return number(code) + " " + buffer;
}

}  // namespace qx::tool
