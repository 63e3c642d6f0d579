// Field formats: a value text written with a printf-like format of one conversion, such
// as "%-10s", including the host's own conversions u (upper case) and l (lower case).
// Owns one process-wide buffer: the result of format_value, overwritten by its next call.
#pragma once

#include <cstddef>

namespace qx::text {

// Size of the working format: a field format holds at most kFormatWorkSize - 1 characters.
inline constexpr std::size_t kFormatWorkSize = 12;
// Size of the working value: a width above kValueWorkSize - 1 is not possible.
inline constexpr std::size_t kValueWorkSize = 300;
// Size of format_value's own result buffer; holds every result of an accepted format.
inline constexpr std::size_t kFormatResultSize = 512;

// Normalises a field format in place and returns it. The buffer must hold at least 6
// bytes. A format that does not begin with "%" becomes "%-10s"; trailing blanks go (the
// first character stays); a text format without a width ("%s", "%0s", "%.5s") becomes
// "%10s", and "%-s" becomes "%-10s". Every other format is left as it is.
char* normalise_format(char* format);

// Writes `value` with the field format `format` into `out` (out_size bytes, always
// terminated) and returns `out`. The format is normalised in place first, so a blank or
// empty format becomes "%-10s" in the caller's buffer.
//
// The width (the number after "%", sign dropped) cuts the value first: "%-3s" writes
// "hel" of "hello", and a format without a width works on the empty value. A last
// character u or l writes the value in upper or lower case as with s. Other conversions
// read the value as a decimal number as atoi does; a blank value with a final d is
// written as blanks of the width instead of "0".
//
// Formats that printf could misuse are refused and give the empty text: a format longer
// than kFormatWorkSize - 1 characters, more than one conversion, %n, %p, %a, "*" widths,
// widths or precisions above 299, unknown conversions. The argument given is the one
// the format's conversion takes, whatever its last character says: "%5s]" writes the
// value text, "%5d]" its number, "%8.2f" the number as a floating value.
char* format_value_into(const char* value, char* format, char* out, std::size_t out_size);

// format_value_into with the operation's own result buffer, valid until its next call.
const char* format_value(const char* value, char* format);

}  // namespace qx::text
