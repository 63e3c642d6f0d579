// UTF-8 as the library reads it: which bytes form valid sequences. No state of its own.
#pragma once

#include <cstddef>
#include <string_view>

namespace qx::text {

// The length of the valid UTF-8 sequence of two or more bytes at the start of `text`,
// or 0 (an ASCII byte, a lone byte of 0x80-0xFF, a sequence cut short, an overlong form,
// a surrogate, or a code point over U+10FFFF).
std::size_t utf8_sequence_length(std::string_view text);

// True when every byte of `text` belongs to valid UTF-8.
bool is_utf8(std::string_view text);

}  // namespace qx::text
