// The commands of qxtool, the command-line front of the support library: one table of
// commands, a runner for one command and a runner for a batch of commands read line by
// line. No state of its own beyond what the library operations keep. The table and the
// runner for one command are in command_table.cpp, the batch runner in batch.cpp; the
// commands themselves in library_commands.cpp and journal_commands.cpp, reading their
// arguments with arguments.h.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qx::tool {

// What one command gave: its result text, or the reason it could not run.
struct Outcome {
    bool ok;                   // false for a usage error (unknown command, wrong arguments)
    std::string text;          // the result when ok, else a one-line message
    bool several_lines = false;  // the result is several lines (scan), each escaped on its own
    bool written = false;        // the result lines went out already (a check given `lines`)
    int status = 0;              // 1: a check found the file faulty (bookings)
};

// Writes a result as qxtool prints it: escaped, one line (or one line per line of a
// result of several lines).
void write_result(std::ostream& out, const Outcome& outcome);

// Runs the command named by words[0] with the arguments words[1..]. Arguments are raw
// bytes; escaping is the caller's concern. A result of several lines (scan) writes all
// its lines but the last to `lines` as it makes them, escaped as write_result would, so
// that its memory does not grow with the result; the outcome keeps the last. Without
// `lines` the outcome keeps them all.
// A check (bookings) writes its result lines to `lines` (escaped as it chooses) and its
// problems to `problems` (null: kept in the result, or dropped).
Outcome run_command(const std::vector<std::string>& words, std::ostream* lines = nullptr,
                    std::ostream* problems = nullptr);

// The list of commands, one per line, for --help.
std::string help_text();

// Runs one command per line of `in` (arguments separated by TAB, with the escapes of
// support/line_escape.h; a CR before the line end is dropped) and writes one escaped result line per
// command to `out` (a check such as bookings writes its own lines, and one line, empty or
// failed, when it wrote none). A line that fails gives "\! " and the message in its place, which no
// result can look like (a backslash in a result is always written "\\"), and the
// message with its line number goes to `err`. Returns the number of failed lines.
long run_batch(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace qx::tool
