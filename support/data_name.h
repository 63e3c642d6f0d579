// The one spelling of a data-file name that the open-file table keys its slots by and
// the visibility rules choose by, so that no other spelling of a file's name gets a
// descriptor of its own or escapes the file's rules. No state of its own.
//
// The canonical name of `name` always opens the same file as `name` does:
//  - a backslash after the class directory ("vst\pers.172") is a slash, as the path
//    search has always read it; on Windows every backslash is, and letters are lower case
//    (there names that differ only in case or separator name the same file);
//  - in a name that begins with a class directory ("vst/", "tab/" ...), doubled
//    separators are single and "." pieces are dropped ("vst//./pers.172");
//  - a name of a folder (path_search.h: it ends in a separator or a "." piece) stays as
//    it is, and opens nothing;
//  - any other name stays as it is: where an absolute path or "./vst/pers.172" leads is
//    known only once the file is open, and file_identity tells it then.
#pragma once

#include <cstddef>
#include <string>

namespace qx::paths {

inline constexpr std::size_t kDataNameSize = 256;  // canonical names, terminator included

// The canonical name of `name`: `name` itself when it is already canonical (the common
// case, no copy), else written into `out` (kDataNameSize bytes) and returned. A name
// whose canonical form does not fit is returned unchanged.
const char* canonical_name(const char* name, char* out);

// Which file the existing `path` is: its name below the installation root when it lies
// there ("vst/pers.172" for <root>/vst/pers.172, however the path was spelt), else its
// full path; empty when the path cannot be resolved. Two paths of one file give the same
// text (on POSIX through symbolic links too). Asks the system: for opens, not for
// every record.
std::string file_identity(const char* path);

}  // namespace qx::paths
