// One text as one line: texts written with backslash, tab, line feed, carriage return
// and NUL as \\, \t, \n, \r and \0, and every other control byte (C0 and DEL) as \xHH,
// so that a result is one line, trailing blanks show, and no byte of it can act on a
// terminal (an escape sequence from a remote peer stays text).
#pragma once

#include <string>
#include <string_view>

namespace qx::text {

// `text` with \ TAB LF CR NUL written as \\ \t \n \r \0, the other bytes 0x01-0x1F and
// 0x7F as \xHH (two lower-case hex digits); every other byte as it is.
std::string escape(std::string_view text);

// escape(text) appended to `out` (whose capacity a caller can keep from line to line).
void escape_append(std::string_view text, std::string* out);

// escape_append for text shown to a person on a terminal, which may take more bytes for
// controls: besides, every byte that is not part of valid UTF-8 and both bytes of a C1
// control in UTF-8 (U+0080-U+009F) are written \xHH. Valid UTF-8 text, accented names
// included, stays as it is. unescape gives the bytes back.
void escape_for_terminal_append(std::string_view text, std::string* out);

// Reverses escape. Returns false (and leaves `out` unspecified) for a backslash that is
// last or followed by any other character, and for \x without two hex digits.
bool unescape(std::string_view text, std::string* out);

}  // namespace qx::text
