// Canonical spellings of data-file names.
#include "support/data_name.h"

#include <cstring>
#include <string>

#include "platform/files.h"
#include "support/install_dirs.h"
#include "support/path_search.h"

namespace qx::paths {
namespace {

constexpr std::size_t kFullPathSize = 4096;  // an absolute path, as the system resolves it

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }

// True when `name` needs no change: the test every record read makes, so it looks only
// at the first characters and at the separators.
bool is_canonical(const char* name, bool dos_like) {
    if (dirs::is_absolute(name)) return false;
    if (name[0] == '.' && (name[1] == '/' || name[1] == '\\' || name[1] == '\0')) return false;
    if (name[0] != '\0' && name[1] != '\0' && name[2] != '\0' && name[3] == '\\') return false;
    if (dos_like) {
        for (const char* p = name; *p != '\0'; ++p) {
            if (*p == '\\' || is_upper(*p)) return false;
        }
    }
    for (const char* slash = std::strchr(name, '/'); slash != nullptr; slash = std::strchr(slash + 1, '/')) {
        if (slash[1] == '/' || (slash[1] == '.' && (slash[2] == '/' || slash[2] == '\0'))) return false;
    }
    return true;
}

std::string with_dos_spelling(std::string text) {
    for (char& c : text) {
        if (c == '\\') c = '/';
        if (is_upper(c)) c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool has_prefix(const std::string& text, const char* prefix) { return text.compare(0, std::strlen(prefix), prefix) == 0; }

bool starts_with_class(const std::string& name) {
    for (const char* dir : {"scr/", "dta/", "tab/", "vst/", "var/", "log/"}) {
        if (has_prefix(name, dir)) return true;
    }
    return false;
}

// The installation root resolved, with a separator at the end; empty when it cannot be
// resolved. Kept once resolved, for as long as the root's text stays the same: every
// file's identity is then taken against the same root, and one failed look at the root
// cannot give one file two identities.
const std::string& resolved_root(bool dos_like) {
    static std::string text;      // rgetbase's text it was resolved from
    static std::string resolved;  // empty: not resolved
    const char* root = dirs::rgetbase();
    if (!resolved.empty() && text == root) return resolved;
    resolved.clear();
    char full_dir[kFullPathSize];
    if (!platform::full_path(root, full_dir, sizeof full_dir)) return resolved;
    text = root;
    resolved = dos_like ? with_dos_spelling(full_dir) : std::string(full_dir);
    if (resolved.empty() || resolved.back() != '/') resolved += '/';
    return resolved;
}

// The resolved `file` below the installation root, or empty when it is not below it.
std::string below_root(const std::string& file, bool dos_like) {
    const std::string& prefix = resolved_root(dos_like);
    return !prefix.empty() && has_prefix(file, prefix.c_str()) ? file.substr(prefix.size()) : "";
}

// Drops doubled separators and "." pieces.
std::string without_empty_pieces(const std::string& name) {
    std::string out;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::string piece = name.substr(start, end - start);
        if (!piece.empty() && piece != ".") {
            if (!out.empty()) out += '/';
            out += piece;
        }
        start = end + 1;
    }
    return out;
}

const char* keep(const std::string& spelling, const char* name, char* out) {
    if (spelling.empty() || spelling.size() >= kDataNameSize) return name;
    std::memcpy(out, spelling.c_str(), spelling.size() + 1);
    return out;
}

}  // namespace

const char* canonical_name(const char* name, char* out) {
    const bool dos_like = platform::paths_are_dos_like();
    // A name of a folder stays as it is, so that it opens nothing, as the name does.
    if (name == nullptr || is_canonical(name, dos_like) || names_a_folder(name)) return name;
    std::string spelling = dos_like ? with_dos_spelling(name) : std::string(name);
    if (spelling.size() > 3 && spelling[3] == '\\') spelling[3] = '/';
    // The class directory decides where the search looks: cleaning up the rest of a name
    // that keeps it leaves the file it opens the same.
    return keep(starts_with_class(spelling) ? without_empty_pieces(spelling) : spelling, name, out);
}

std::string file_identity(const char* path) {
    const bool dos_like = platform::paths_are_dos_like();
    char full[kFullPathSize];
    if (!platform::full_path(path, full, sizeof full)) return "";
    const std::string file = dos_like ? with_dos_spelling(full) : std::string(full);
    const std::string inside = below_root(file, dos_like);
    return inside.empty() ? file : inside;
}

}  // namespace qx::paths
