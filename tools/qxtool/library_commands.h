// The commands of qxtool that run one operation of the support library and give its
// result as a text: the ones too long for a line of the command table (command_table.cpp).
// Each takes the command's words (checked for their count by run_command), reads its
// arguments with arguments.h (throwing UsageError for a bad one) and returns the result.
// No state of their own beyond what the library operations keep.
#pragma once

#include <iosfwd>
#include <string>

#include "tools/qxtool/arguments.h"

namespace qx::tool {

// `value` as a result text (decimal).
std::string number(long long value);

// copy-field N TEXT SEP SIZE: field N of TEXT cut to a buffer of SIZE bytes.
std::string run_copy_field(const Args& a);

// minutes COUNT FORMAT, date DATE CODE: a minute count or a packed date as text.
std::string run_minutes(const Args& a);
std::string run_date(const Args& a);

// trim1 TEXT / trim TEXT: TEXT with its trailing blanks cut to at most one, or to none.
std::string run_trim(const Args& a, bool to_one_blank);

// norm FORMAT, format VALUE FORMAT: a field format normalised, a value written with one.
std::string run_norm(const Args& a);
std::string run_format(const Args& a);

// dirs: the installation root and home directory and where each came from, then on a
// line of its own a registry file that could not be read. With `lines` the first line
// is written there (escaped) and the problem returned.
std::string run_dirs(const Args& a, std::ostream* lines);

// reg KEY: the values of registry key HKEY_LOCAL_MACHINE\KEY as the library reads them,
// "name=data" a line each (written escaped to `lines` when given, else kept in the
// result), then their count; or "no key" and the reason.
std::string run_reg(const Args& a, std::ostream* lines);

// find NAME: the candidates for data-file NAME in the order tried, each with whether it
// opened; the search stops at the first that does.
std::string run_find(const Args& a);

// read FILE N LEN: the result code and, when it is 0, the record (its end-of-text bytes
// print as \0).
std::string run_read(const Args& a);

// scan FILE LEN [FIELD:POS...]: every record of a data-file as a restricted user sees
// it: the visible ones with the chosen fields, then how many were visible, hidden by the
// rules, and empty. The system parameter record is loaded first, as the running system
// has it. The visible records' lines go to `lines` (escaped) as they are made when it is
// given, else they are kept in the result; the progress shows on standard error
// (progress.h).
std::string run_scan(const Args& a, std::ostream* lines);

// lang NAME: the language form of NAME, and the yes letter that mapping it set.
std::string run_lang(const Args& a);

// msg CATALOGUE N: the code and the text of message N of a catalogue.
std::string run_msg(const Args& a);

}  // namespace qx::tool
