// The journal checks of qxtool (journal_commands.h).
#include "tools/qxtool/journal_commands.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>

#include "support/journal_line.h"
#include "support/line_escape.h"

namespace qx::tool {
namespace {

using text::escape;

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

}  // namespace

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

}  // namespace qx::tool
