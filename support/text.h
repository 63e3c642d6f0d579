// Text operations shared by the whole library: picking a field out of a field list,
// the blank test, right trims and reading a number from the head of a text.
// Owns one process-wide buffer: the result of field_at (299 bytes), overwritten by the
// next call. Everything else works on the caller's buffers and never allocates.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::text {

// Size of field_at's own result buffer, terminator included (results hold at most
// kFieldBufferSize - 1 characters).
inline constexpr int kFieldBufferSize = 299;

// Size of leading_number's working buffer: it reads at most kLeadingBufferSize - 1
// characters.
inline constexpr int kLeadingBufferSize = 80;

// Whether two texts are equal: strcmp(a, b) == 0, done in place (for the paths taken for
// every record read: a short name compared without a call into the C library).
inline bool same_text(const char* a, const char* b) {
    while (*a == *b) {
        if (*a == '\0') return true;
        ++a;
        ++b;
    }
    return false;
}

// Copies field n (counted from 1) of `text` into `buffer`, which holds `size` bytes,
// terminator included, and returns `buffer`.
//
// A separator other than ' ' ends a field at each occurrence; blanks, tabs and quotes
// are ordinary characters and two adjacent separators enclose an empty field.
// A blank separator selects blank mode: runs of blanks and tabs separate, blanks and
// tabs before a field are skipped, and a field that begins with " or ' runs to the
// next quote of the same kind (quotes included in the field).
//
// A field that does not fit is cut to size - 1 characters; the cut counts the field's
// separator, and when the field was ended by a separator one more character is dropped
// (so "abcdef,x" with size 5 gives "abc", "abcdef" gives "abcd"). Stored files and
// callers depend on this exact cut.
//
// Bad input: n below 1, a field past the last one, a null or empty text give the empty
// text. A size of 0 or less writes nothing at all and returns `buffer` untouched.
// Texts of any length are handled (positions are not limited to 16 bits here).
char* copy_field(std::int16_t n, const char* text, char separator, char* buffer, int size);

// copy_field into the operation's own buffer of kFieldBufferSize bytes. The result
// stays valid until the next call of field_at.
const char* field_at(std::int16_t n, const char* text, char separator);

// 1 if `text` is null, empty or holds only blanks (' '; a tab is not a blank), else 0.
std::int16_t is_blank(const char* text);

// Cuts trailing blanks (' ') of `text` to at most one, in place; a text of blanks only
// becomes empty. Returns `text`; a null text is returned as it is.
char* trim_to_one_blank(char* text);

// Removes all trailing blanks (' ') of `text`, in place, and returns it. Tabs stay.
char* trim_right(char* text);

// The decimal integer in the first n characters of `text`, read as atoi reads it
// (leading white space, an optional sign, digits up to the first non-digit; no digits
// give 0). n is clamped to 0..kLeadingBufferSize-1, so the working buffer is never
// overrun; n of 0 or less gives 0. Values beyond the 32-bit range saturate.
int leading_number(const char* text, std::int16_t n);

// The decimal integer at the start of `text` as atoi reads it, saturated to the 32-bit
// range instead of overflowing. A null text gives 0.
std::int32_t read_int(const char* text);

// Copies at most size - 1 bytes of `source` into `dest` (size bytes) and terminates it;
// does nothing when size is 0. The one bounded copy of the library.
void copy_text(char* dest, std::size_t size, const char* source);

}  // namespace qx::text
