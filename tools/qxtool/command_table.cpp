// The command table of qxtool, the runner for one command (run_command) and the way its
// result is printed (write_result); the interface is commands.h. The commands that fit
// a line run here, the longer ones are in library_commands.cpp and
// journal_commands.cpp.
#include <algorithm>
#include <ostream>
#include <sstream>

#include "support/config.h"
#include "support/datetime/calendar.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "support/line_escape.h"
#include "support/text.h"
#include "tools/qxtool/arguments.h"
#include "tools/qxtool/commands.h"
#include "tools/qxtool/journal_commands.h"
#include "tools/qxtool/library_commands.h"

namespace qx::tool {
namespace {

using text::escape;

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

}  // namespace qx::tool
