// Writes a caller's printf-style format with values it cannot misuse. Formats reach the
// library from users (qxtool, configuration), so a format is checked and every
// conversion is rebuilt before it reaches snprintf: the argument passed always matches
// the conversion, and nothing a format says can write memory or read a missing argument.
// No state of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::fmt {

// Largest width or precision a conversion may ask for.
inline constexpr int kMaxWidth = 299;

// One value offered to a conversion. A text conversion (s) writes `text`, or the
// decimal digits of `number` when text is null; integer conversions (d i o u x X c)
// write `number` (o u x X as its unsigned 32-bit pattern, as on the 32-bit host);
// floating conversions (f F e E g G) write `number` as a double.
struct FormatArg {
    const char* text;     // text for %s, or null to print the number
    std::int32_t number;  // value for every other conversion
};

// Writes `format` into `out` (size bytes, always terminated when size > 0), taking the
// values of its conversions from `args` in order. Returns true when the format is
// accepted, false otherwise; a refused format leaves the empty text.
//
// Accepted: literal text, "%%", and at most `arg_count` conversions, each "%", flags
// from "-+ #0", an optional width and ".precision" (each at most kMaxWidth), an
// optional length modifier h, hh, l or ll (ignored: the argument's type is chosen
// here), and one of d i o u x X c s f F e E g G.
// Refused: %n, %p, %a, "*" widths, any other conversion, a "%" at the end, more
// conversions than arguments. Output longer than size - 1 is cut.
bool format_checked(char* out, std::size_t size, const char* format, const FormatArg* args,
                    int arg_count);

// `value` as snprintf(out, size, "%<width>lld") writes it, or "%0<width>lld" when `zeros`
// (zeros after the sign), without a call of the C library's formatter: for the formats
// that the server writes for every booking. Returns the length of the whole text, of
// which at most size - 1 characters are written, then a terminator (size > 0).
std::size_t write_plain_integer(long long value, int width, bool zeros, char* out, std::size_t size);

}  // namespace qx::fmt
