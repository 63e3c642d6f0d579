// The argument readers of qxtool's commands: each reads one argument of a command's
// words as the type the library operation takes, and throws UsageError with a one-line
// message when it cannot. No state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx::tool {

// A command's words: the command name, then its arguments (raw bytes).
using Args = std::vector<std::string>;

// Thrown by the argument readers and the commands; caught only by run_command, which
// reports "COMMAND: message".
struct UsageError {
    std::string message;
};

// Reads argument `index` as a decimal integer within [low, high]; "+" is allowed.
// `name` names the argument in the message.
long long integer_arg(const Args& a, std::size_t index, const char* name, long long low, long long high);

// Reads argument `index` as a 32-bit or a 16-bit integer.
std::int32_t int32_arg(const Args& a, std::size_t index, const char* name);
std::int16_t int16_arg(const Args& a, std::size_t index, const char* name);

// Reads argument `index` as a field separator: exactly one character.
char separator_arg(const Args& a, std::size_t index);

// A writable copy of text argument `index` with room for at least `minimum` bytes and a
// terminator after the text, for the operations that work in place.
std::string buffer_arg(const Args& a, std::size_t index, std::size_t minimum);

}  // namespace qx::tool
