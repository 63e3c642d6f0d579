// Message catalogues: message n of a catalogue read into the caller's buffer, with its
// code. A catalogue whose name begins "tab" is a text catalogue (message n is line n,
// code 6); any other is a record catalogue of 80-byte records (text in bytes 0-77, a
// two-digit code in bytes 78-79). Names are mapped to the language in force first,
// except "dta/qxc..." names. Failures come back as text in the buffer. No state of its
// own (record catalogues stay open in the open-file table).
//
// A record catalogue asked for message 0 or less is never positioned before its start:
// it gives the "error in message" text and code 3. Failure texts are cut to the 80-byte
// buffer. A line piece without a newline (a last line without one, or a 79-character
// piece of a longer line) is returned whole. A name of 256 bytes or more cannot be
// opened (cut to fit, it would name another file).
#pragma once

#include <cstdint>

namespace qx::catalogue {

inline constexpr int kMessageBufferSize = 80;  // the caller's buffer holds at least this
inline constexpr int kRecordLength = 80;
inline constexpr std::int16_t kTextCode = 6;
inline constexpr std::int16_t kFailureCode = 3;

// Reads message `number` of catalogue `name` into `buffer` and returns its code.
std::int16_t rtekst(const char* name, char* buffer, std::int16_t number);

// Reads line `number` of text catalogue `name` (already mapped) into `buffer`, without
// its newline; beyond the last line the last line, at 0 or less the empty text. 6.
std::int16_t read_text_message(const char* name, char* buffer, std::int16_t number);

}  // namespace qx::catalogue
