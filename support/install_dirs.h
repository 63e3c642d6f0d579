// The installation's directories: the installation root (registry value "qxbase" of
// HKEY_LOCAL_MACHINE\Software\Velmora, then QXBASE, then "/qx") and the home directory
// (HOME, then the registry value "qxhome", then QXHOME, then "/qx"), each found once per
// process and never empty. Owns both directory texts and home_path's result buffer.
//
// Limits: a directory holds at most 255 characters. A source whose text would not fit
// (an expanded registry value or an environment value) counts as absent, so the lookup
// moves on to the next source; nothing is cut and nothing overruns.
#pragma once

#include <cstddef>

namespace qx::dirs {

inline constexpr std::size_t kDirSize = 256;           // directory texts, terminator included
inline constexpr std::size_t kHomePathSize = 512;      // home_path's result buffer
inline constexpr char kRegistryKey[] = "Software\\Velmora";

// Reads value `name` of HKEY_LOCAL_MACHINE\`subkey` into `out` (kDirSize bytes) with its
// %NAME% references expanded, and returns `out`. Values are enumerated in order; the
// enumeration stops at the first value whose name or data does not fit 125 characters.
// Names match exactly (case-sensitive); the last match wins. Empty text when the key or
// the value is missing, or when the expansion would not fit.
char* read_registry_value(const char* subkey, const char* name, char* out);

// The installation root, with one trailing backslash removed (when it has at least two
// characters). Found at the first call, then always the same text.
const char* rgetbase();

// The home directory, found the same way from its own sources.
const char* get_home_dir();

// True when `path` is absolute: '/' or '\' first, or ':' second (a drive letter).
bool is_absolute(const char* path);

// `path` itself when it is absolute ('/' or '\' first, or ':' second), else
// "<home>/<path>" in the operation's own buffer (valid until its next call). A combined
// path that does not fit kHomePathSize - 1 characters gives the empty text.
const char* home_path(const char* path);

// Where rgetbase's and get_home_dir's texts came from, in words: "registry value qxbase",
// "environment variable HOME", "default" (empty text before the first call).
const char* root_origin();
const char* home_origin();

// Forgets both directories, so that the next calls look them up again. For tests, which
// run many cases in one process.
void forget_directories();

}  // namespace qx::dirs
