// Fixed-length records of a data file as the file stores them: record n of a file of
// L-byte records is bytes (n-1)*L to n*L-1, read through the open-file table. In the file
// each field ends in "~"; converted, every "~" after byte 0 is an end-of-text byte, so
// each field is a text at its byte position. A head number (the record's leading decimal
// number) of 0 marks an empty record. The visibility rules are applied on top of this
// (visibility/records.h: read_record and scans). No state of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::records {

inline constexpr int kReadOk = 0;
inline constexpr int kOpenFailed = -1;
inline constexpr int kSeekFailed = -2;   // the position (n-1)*L is negative (n of 0 or less)
inline constexpr int kReadFailed = -3;   // also: a record length of 0 or less
inline constexpr int kEmptyOrHidden = -4;
inline constexpr int kShortRead = -5;    // fewer than L bytes (beyond the end of the file)

// Whether the head number of a record, read as atol reads it from its first kHeadLength
// bytes (never past `length`), is 0: no digit but 0 follows the white space and the sign.
// A value saturated at the limits of its type is never 0, so this is exactly the test of
// an empty record, and it holds whether the field ends are converted or still "~".
inline constexpr std::int32_t kHeadLength = 79;
bool head_is_zero(const char* record, std::int32_t length);

// Turns every "~" after byte 0 of the `length` bytes at `record` into an end of text.
void convert_field_ends(char* record, std::size_t length);

// Reads record `number` of length `length` of data-file `name` into `buffer` (at least
// `length` bytes; nothing is written past them), as stored: field ends still "~". Returns
// kReadOk, kEmptyOrHidden for an empty record, or the failure codes above; the handle of
// the open file goes to *handle (when not null) once the file is open. Files beyond
// 2 GiB are read with 64-bit positions.
int read_stored_record(const char* name, std::int32_t number, std::int32_t length, char* buffer,
                       std::int16_t* handle = nullptr);

// read_stored_record, the record converted: what read_record gives for a file that no
// visibility rule selects (the rules' own files: the flags of the organisational units,
// the language table, the system parameters).
int read_unjudged_record(const char* name, std::int32_t number, std::int32_t length, char* buffer);

// Reads the whole records from number `first` on into `block` (`capacity` bytes, at
// least `length`), as stored. Returns how many whole records it holds (0 past the end of
// the file), or a failure code of read_stored_record (kSeekFailed for a `first` of 0 or
// less); the handle of the open file goes to *handle.
std::int64_t read_stored_records(const char* name, std::int64_t first, std::int32_t length, char* block,
                                 std::size_t capacity, std::int16_t* handle);

}  // namespace qx::records
