// The data-file path search: a data-file name such as "vst/pers.172" is tried under the
// installation root and the home directory in a fixed order by its class (its first
// four characters), and the first candidate that opens is returned. No state of its own.
//
// Classes: "scr/" "dta/" "tab/" try <home>/name (when home differs from root), then
// <root>/vst/name, then <root>/name; "vst/" "var/" "log/" try <root>/name only; every
// other name tries the name itself, and, unless it is absolute, <home>/name (when home
// differs from root) and <root>/name. A candidate longer than 255 characters is not
// tried (it could not be built whole). A name that ends in a separator or in a "."
// piece ("vst/pers.172/", "vst/pers.172/.") names a folder, never a data file: it has
// no candidates, on every system (Windows would drop a last "." piece and open the file).
// A folder is never opened as a data file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"

namespace qx::paths {

inline constexpr std::size_t kCandidateSize = 256;  // candidate paths, terminator included

// True when `name` ends in a separator or in a "." piece (a backslash separates where
// paths are spelt as on Windows).
bool names_a_folder(const char* name);

// The candidate paths for `name`, in the order they are tried (those too long left out).
// Changes a backslash at index 3 of `name` into '/', in place, as both opens do.
std::vector<std::string> candidates(char* name);

// Opens the first candidate of `name` that opens as a text stream with `mode`; null
// when none does.
platform::TextFile* rfopen(char* name, const char* mode);

// Opens the first candidate of `name` that opens as a low-level file; -1 when none does.
// The path that opened goes to *opened when it is given.
std::int16_t ropen(char* name, platform::FileAccess access, int permission, std::string* opened = nullptr);

}  // namespace qx::paths
