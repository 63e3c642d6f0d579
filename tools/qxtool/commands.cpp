// The command table of qxtool and its runners.
#include "tools/qxtool/commands.h"

#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <cstdint>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <iostream>
#include <istream>
#include <ostream>

#include "platform/files.h"
#include "platform/registry.h"
#include "support/catalogue.h"
#include "support/config.h"
#include "support/file_table.h"
#include "support/datetime/calendar.h"
#include "support/datetime/date_text.h"
#include "support/format.h"
#include "support/install_dirs.h"
#include "support/journal_line.h"
#include "support/language_names.h"
#include "support/line_escape.h"
#include "support/path_search.h"
#include "visibility/records.h"
#include "support/text.h"

namespace qx::tool {
namespace {

using text::escape;
using text::unescape;

constexpr std::size_t kTextBufferSize = 1024;  // room for any date or minute text
constexpr long long kMaxRecordLength = 1 << 20; // the largest record qxtool reads

using Args = std::vector<std::string>;

// Thrown by the argument readers; caught only by run_command.
struct UsageError {
    std::string message;
};

// Reads argument `index` as a decimal integer within [low, high]; "+" is allowed.
long long integer_arg(const Args& a, std::size_t index, const char* name, long long low,
                      long long high) {
    const std::string& text = a[index];
    const char* begin = text.data() + (text.size() > 1 && text[0] == '+' ? 1 : 0);
    const char* end = text.data() + text.size();
    long long value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || value < low || value > high) {
        throw UsageError{std::string(name) + " must be an integer from " + std::to_string(low) +
                         " to " + std::to_string(high) + ", got '" + escape(text) + "'"};
    }
    return value;
}

std::int32_t int32_arg(const Args& a, std::size_t index, const char* name) {
    return static_cast<std::int32_t>(integer_arg(a, index, name, INT32_MIN, INT32_MAX));
}

std::int16_t int16_arg(const Args& a, std::size_t index, const char* name) {
    return static_cast<std::int16_t>(integer_arg(a, index, name, INT16_MIN, INT16_MAX));
}

char separator_arg(const Args& a, std::size_t index) {
    if (a[index].size() != 1) {
        throw UsageError{"SEP must be exactly one character, got '" + escape(a[index]) + "'"};
    }
    return a[index][0];
}

// A writable copy of a text argument with room for at least `minimum` bytes, for the
// operations that work in place.
std::string buffer_arg(const Args& a, std::size_t index, std::size_t minimum) {
    std::string buffer = a[index];
    buffer.resize(std::max(buffer.size() + 1, minimum), '\0');
    return buffer;
}

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

// The directories, and on a line of its own a registry file that could not be read.
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

// The values of registry key HKEY_LOCAL_MACHINE\KEY as the library reads them, "name=data"
// a line each, then their count.
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

// The candidates in the order tried, each with whether it opened; the search stops at
// the first that does.
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

// The result code and, when it is 0, the record (its end-of-text bytes print as \0).
std::string run_read(const Args& a) {
    const std::int32_t record_number = int32_arg(a, 2, "N");
    const auto length = static_cast<std::int32_t>(integer_arg(a, 3, "LEN", INT32_MIN, kMaxRecordLength));
    std::string record(static_cast<std::size_t>(std::max(length, 1)), '\0');
    const int code = records::read_record(a[1].c_str(), record_number, length, record.data());
    return code == records::kReadOk ? number(code) + " " + record : number(code);
}

// Every record of a data-file as a restricted user sees it: the visible ones with the
// chosen fields, then how many were visible, hidden by the rules, and empty. The system
// parameter record is loaded first, as the running system has it.
// The progress of a scan on standard error when that is a terminal (a person waiting):
// records read, the part of the file they are and records per second, redrawn in place
// twice a second and once at the end. Nothing when standard error is a pipe or a file.
class ScanProgress {
  public:
    ScanProgress(const char* file, std::int32_t length) : shown_(platform::error_output_is_terminal()), length_(length) {
        if (!shown_) return;
        const std::int16_t handle = table::table_open(file, "r");
        size_ = handle >= 0 ? platform::file_size(handle) : -1;
    }
    void after(long records) {
        if (!shown_ || records % kCheckEvery != 0) return;
        const Clock::time_point now = Clock::now();
        if (now - shown_at_ < std::chrono::milliseconds(500)) return;
        shown_at_ = now;
        show(records, now);
    }
    void finish(long records) {
        if (!shown_) return;
        show(records, Clock::now());
        std::cerr << "\n";
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr long kCheckEvery = 1024;  // records between looks at the clock

    void show(long records, Clock::time_point now) {
        const double seconds = std::chrono::duration<double>(now - start_).count();
        std::cerr << "\rscan: " << records << " records";
        if (size_ > 0) std::cerr << ", " << static_cast<long long>(records) * length_ * 100 / size_ << " %";
        std::cerr << ", " << (seconds > 0 ? static_cast<long long>(static_cast<double>(records) / seconds) : 0)
                  << " records/s" << std::flush;
    }

    bool shown_;
    std::int64_t length_;
    std::int64_t size_ = -1;
    Clock::time_point start_ = Clock::now();
    Clock::time_point shown_at_ = start_;
};

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

// The language form of a name, and the yes letter that mapping it set.
std::string run_lang(const Args& a) {
    std::string out(a[1].size() + 1, '\0');
    lang::rgetlan_nam(a[1].c_str(), out.data(), out.size());
    return std::string(out.c_str()) + " " + lang::yes_letter();
}

// The code and the text of message N of a catalogue.
std::string run_msg(const Args& a) {
    char buffer[catalogue::kMessageBufferSize];
    const std::int16_t code = catalogue::rtekst(a[1].c_str(), buffer, int16_arg(a, 2, "N"));
    return number(code) + " " + buffer;
}

// A CSV field (RFC 4180): quoted, its quotes doubled, when it holds a quote, a comma, a
// CR or an LF; as it is otherwise.
void append_csv_field(const std::string& field, std::string* out) {
    if (field.find_first_of("\",\r\n") == std::string::npos) {
        *out += field;
        return;
    }
    *out += '"';
    for (const char c : field) {
        if (c == '"') *out += '"';
        *out += c;
    }
    *out += '"';
}

constexpr char kCsvHeader[] = "received,terminal,peer,card,fkey,date,time\r\n";

// A booking as a CSV record, with its CR LF.
std::string csv_record(const journal::Booking& b) {
    std::string record;
    for (const std::string* field : {&b.received, &b.terminal, &b.peer, &b.card, &b.fkey, &b.date, &b.time}) {
        if (!record.empty()) record += ',';
        append_csv_field(*field, &record);
    }
    return record + "\r\n";
}

// How `bookings` writes what it reads.
struct BookingsOptions {
    std::string journal;
    bool json = false;
    std::string csv;  // the CSV file; empty: none
};

BookingsOptions bookings_options(const Args& a) {
    BookingsOptions options;
    for (std::size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--json" && options.csv.empty()) {
            options.json = true;
        } else if (a[i] == "--csv" && i + 1 < a.size() && !options.json && options.csv.empty()) {
            options.csv = a[++i];
        } else if (options.journal.empty() && a[i].rfind("--", 0) != 0) {
            options.journal = a[i];
        } else {
            throw UsageError{"bookings takes one journal FILE and --json or --csv OUT"};
        }
    }
    if (options.journal.empty()) throw UsageError{"bookings needs the journal FILE"};
    return options;
}

// The bookings of a journal, one per line (fields escaped, separated by TAB), with
// --json its lines as they are, or with --csv OUT a CSV file OUT (RFC 4180, a header row
// first); problems go to `err` with their line numbers. An incomplete last line (a write
// that a crash cut short: never answered) is reported as such and is no error. Status 1
// for a journal that cannot be read or any other line that is not a journal line.
int run_bookings(const Args& a, std::ostream& out, std::ostream& err) {
    const BookingsOptions options = bookings_options(a);
    const std::string where = "qxtool: " + escape(options.journal) + ": ";
    std::ifstream in(options.journal, std::ios::binary);
    if (!in) {
        err << where << "cannot open: " << std::strerror(errno) << '\n';
        return 1;
    }
    std::ofstream csv;
    if (!options.csv.empty()) {
        csv.open(options.csv, std::ios::binary | std::ios::trunc);
        if (!(csv << kCsvHeader)) {
            err << "qxtool: " << escape(options.csv) << ": cannot write: " << std::strerror(errno) << '\n';
            return 1;
        }
    }
    int status = 0;
    std::string line, problem, fields;
    journal::Booking booking;
    for (long number = 1; std::getline(in, line); ++number) {
        if (in.eof()) {  // no line feed after it
            err << where << "line " << number << ": incomplete last line (cut short, never answered)\n";
            break;
        }
        if (!journal::read_journal_line(line, &booking, &problem)) {
            err << where << "line " << number << ": not a journal line: " << problem << '\n';
            status = 1;
            continue;
        }
        if (options.json) {
            out << line << '\n';
            continue;
        }
        if (!options.csv.empty()) {
            csv << csv_record(booking);
            continue;
        }
        fields.clear();
        for (const std::string* field : {&booking.received, &booking.card, &booking.fkey, &booking.date,
                                         &booking.time, &booking.request}) {
            if (!fields.empty()) fields += '\t';
            text::escape_append(*field, &fields);
        }
        out << fields << '\n';
    }
    if (in.bad()) {
        err << where << "read failed\n";
        status = 1;
    }
    if (!options.csv.empty() && !(csv.flush())) {
        err << "qxtool: " << escape(options.csv) << ": cannot write: " << std::strerror(errno) << '\n';
        status = 1;
    }
    return status;
}

struct Command {
    const char* name;
    const char* arguments;  // as shown in the help
    std::size_t arg_count;  // arguments it takes (the least, when more may follow)
    bool more_may_follow;   // further arguments allowed (scan's fields)
    const char* summary;
    std::string (*run)(const Args&);
    // For results of several lines: writes all but the last line, escaped, to `lines`
    // as they are made (null: keeps them in the result) and returns the rest.
    std::string (*run_lines)(const Args&, std::ostream* lines) = nullptr;
    // For checks of a file: writes the result lines to `out` and problems to `err`, and
    // returns the status (0 or 1).
    int (*run_check)(const Args&, std::ostream& out, std::ostream& err) = nullptr;
};

const Command kCommands[] = {
    {"leap", "YEAR", 1, false, "1 if YEAR is a leap year, else 0",
     [](const Args& a) { return number(datetime::is_leap_year(int32_arg(a, 1, "YEAR"))); }},
    {"day-of-year", "DATE", 1, false, "day of the year of a packed date (YYMMDD or YYYYMMDD)",
     [](const Args& a) { return number(datetime::day_of_year(int32_arg(a, 1, "DATE"))); }},
    {"day-number", "DATE", 1, false, "days since 31 December 1900",
     [](const Args& a) { return number(datetime::day_number(int32_arg(a, 1, "DATE"))); }},
    {"year4", "YEAR", 1, false, "four-digit year of a two-digit one (26-99: 19xx, 00-25: 20xx)",
     [](const Args& a) { return number(datetime::four_digit_year(int32_arg(a, 1, "YEAR"))); }},
    {"add-days", "DATE N", 2, false, "DATE moved by N days",
     [](const Args& a) { return number(datetime::add_days(int32_arg(a, 1, "DATE"), int32_arg(a, 2, "N"))); }},
    {"part", "DATE CODE", 2, false, "component of DATE: dd mm jj jjl dj dw ww nm nj (-1: unknown code)",
     [](const Args& a) { return number(datetime::date_part(int32_arg(a, 1, "DATE"), a[2].c_str())); }},
    {"minutes", "COUNT FORMAT", 2, false, "minute count as hours and minutes, e.g. FORMAT %02d:%02d", run_minutes},
    {"date", "DATE CODE", 2, false, "date as text: dmj (14-10-10) or dmjl (14-10-2010)", run_date},
    {"field", "N TEXT SEP", 3, false, "field N of TEXT; SEP ' ' splits on blanks and tabs, honouring quotes",
     [](const Args& a) {
         return std::string(text::field_at(int16_arg(a, 1, "N"), a[2].c_str(), separator_arg(a, 3)));
     }},
    {"copy-field", "N TEXT SEP SIZE", 4, false, "field N of TEXT cut to a buffer of SIZE bytes", run_copy_field},
    {"blank", "TEXT", 1, false, "1 if TEXT is empty or only blanks, else 0",
     [](const Args& a) { return number(text::is_blank(a[1].c_str())); }},
    {"trim1", "TEXT", 1, false, "TEXT with its trailing blanks cut to at most one",
     [](const Args& a) { return run_trim(a, true); }},
    {"trim", "TEXT", 1, false, "TEXT without trailing blanks", [](const Args& a) { return run_trim(a, false); }},
    {"lead", "TEXT N", 2, false, "the integer in the first N characters of TEXT (N up to 79)",
     [](const Args& a) { return number(text::leading_number(a[1].c_str(), int16_arg(a, 2, "N"))); }},
    {"norm", "FORMAT", 1, false, "FORMAT normalised as a field format (%s becomes %10s)", run_norm},
    {"format", "VALUE FORMAT", 2, false, "VALUE written with a field format, e.g. %-10s %5d %8u %8l", run_format},
    {"var", "NAME", 1, false, "configuration variable NAME (QX_... names read once, as the library does)",
     [](const Args& a) { return std::string(config::get_config_var(a[1].c_str())); }},
    {"dirs", "", 0, false, "installation root and home directory, and where each came from (and a registry file that cannot be read)",
     nullptr, run_dirs},
    {"home-path", "PATH", 1, false, "PATH made absolute against the home directory",
     [](const Args& a) { return std::string(dirs::home_path(a[1].c_str())); }},
    {"reg", "KEY", 1, false, "the values of registry key HKEY_LOCAL_MACHINE\\KEY as the library reads them, then their count",
     nullptr, run_reg},
    {"find", "NAME", 1, false, "the paths tried for data-file NAME, in order, and the one that opened", run_find},
    {"lang", "NAME", 1, false, "NAME in the language in force (QX_LANGUAGE or landcode), and the yes letter", run_lang},
    {"msg", "CATALOGUE N", 2, false, "code and text of message N (a line of tab... catalogues, else an 80-byte record)",
     run_msg},
    {"yes", "", 0, false, "the yes letter after mapping a name (QX_YES overrides the language's)",
     [](const Args&) {
         char out[16];
         lang::rgetlan_nam("tab/yes.tab", out, sizeof out);
         return std::string(1, lang::yes_letter());
     }},
    {"scan", "FILE LEN [FIELD:POS...]", 2, true,
     "the records of FILE a user restricted by the QX_* variables sees, one per line, then counts", nullptr,
     run_scan},
    {"bookings", "FILE [--json | --csv OUT]", 1, true,
     "the bookings of journal FILE: received, card, fkey, date, time, request, TAB-separated; --csv OUT: as "
     "CSV (received, terminal, peer, card, fkey, date, time) in file OUT",
     nullptr, nullptr, run_bookings},
    {"read", "FILE N LEN", 3, false, "result code of reading record N of LEN bytes, and the record (\\0: end of a field)",
     run_read},
};

const Command* find_command(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

}  // namespace

Outcome run_command(const std::vector<std::string>& words, std::ostream* lines, std::ostream* problems) {
    if (words.empty() || words[0].empty()) return {false, "no command given (try --help)"};
    const Command* command = find_command(words[0]);
    if (command == nullptr) return {false, "unknown command '" + escape(words[0]) + "'"};
    if (words.size() < command->arg_count + 1 ||
        (!command->more_may_follow && words.size() != command->arg_count + 1)) {
        return {false, std::string(command->name) + " takes " + std::to_string(command->arg_count) +
                           " argument(s): " + command->name + " " + command->arguments};
    }
    try {
        if (command->run_lines != nullptr) return {true, command->run_lines(words, lines), true};
        if (command->run_check != nullptr) {
            std::ostringstream kept_lines, kept_problems;  // for a caller that gives no streams
            const int status = command->run_check(words, lines != nullptr ? *lines : kept_lines,
                                                  problems != nullptr ? *problems : kept_problems);
            return {true, kept_lines.str(), true, lines != nullptr, status};
        }
        return {true, command->run(words), false};
    } catch (const UsageError& error) {
        return {false, std::string(command->name) + ": " + error.message};
    }
}

std::string help_text() {
    std::string text;
    for (const Command& command : kCommands) {
        std::string usage = std::string(command.name) + " " + command.arguments;
        usage.resize(std::max<std::size_t>(usage.size() + 2, 28), ' ');
        text += "  " + usage + command.summary + "\n";
    }
    return text;
}

void write_result(std::ostream& out, const Outcome& outcome) {
    if (outcome.written) return;
    if (!outcome.several_lines) {
        out << escape(outcome.text) << '\n';
        return;
    }
    std::size_t start = 0;
    for (std::size_t end; (end = outcome.text.find('\n', start)) != std::string::npos; start = end + 1) {
        out << escape(outcome.text.substr(start, end - start)) << '\n';
    }
    out << escape(outcome.text.substr(start)) << '\n';
}

long run_batch(std::istream& in, std::ostream& out, std::ostream& err) {
    long failed = 0;
    long line_number = 0;
    std::string line;
    std::vector<std::string> words;
    std::string word;
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        words.clear();
        bool escapes_ok = true;
        for (std::size_t start = 0; escapes_ok;) {
            const std::size_t tab = line.find('\t', start);
            const std::size_t stop = tab == std::string::npos ? line.size() : tab;
            escapes_ok = unescape(std::string_view(line).substr(start, stop - start), &word);
            words.push_back(word);
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        Outcome outcome = escapes_ok ? run_command(words, &out, &err)
                                     : Outcome{false, "bad escape: only \\\\ \\t \\n \\r \\0 \\xHH are known"};
        if (outcome.ok) {
            write_result(out, outcome);
            if (outcome.status != 0) ++failed;
        } else {
            ++failed;
            out << "\\! " << outcome.text << '\n';
            err << "qxtool: line " << line_number << ": " << outcome.text << '\n';
        }
    }
    return failed;
}

}  // namespace qx::tool
