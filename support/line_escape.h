// One text as one line: texts written with backslash, tab, line feed, carriage return
// and NUL as \\, \t, \n, \r and \0, so that a result is one line and trailing blanks show.
#pragma once

#include <string>
#include <string_view>

namespace qx::text {

// `text` with \ TAB LF CR written as \\ \t \n \r; every other byte as it is.
std::string escape(std::string_view text);

// Reverses escape. Returns false (and leaves `out` unspecified) for a backslash that is
// last or followed by any other character.
bool unescape(std::string_view text, std::string* out);

}  // namespace qx::text
