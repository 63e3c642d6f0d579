// Candidate paths of a data-file name, and the two opens that try them.
#include "support/path_search.h"

#include <cstdio>
#include <cstring>

#include "support/install_dirs.h"

namespace qx::paths {
namespace {

enum class NameClass { Searched, RootOnly, Other };

NameClass class_of(const char* name) {
    for (const char* prefix : {"scr/", "dta/", "tab/"}) {
        if (std::strncmp(name, prefix, 4) == 0) return NameClass::Searched;
    }
    for (const char* prefix : {"vst/", "var/", "log/"}) {
        if (std::strncmp(name, prefix, 4) == 0) return NameClass::RootOnly;
    }
    return NameClass::Other;
}

// Adds "<dir><middle><name>" when it fits a candidate buffer.
void add(std::vector<std::string>& list, const char* dir, const char* middle, const char* name) {
    char path[kCandidateSize];
    const int written = std::snprintf(path, sizeof path, "%s%s%s", dir, middle, name);
    if (written >= 0 && static_cast<std::size_t>(written) < sizeof path) list.emplace_back(path);
}

// Tries the candidates of `name` with `open` until one gives a result that `opened`
// accepts; that candidate goes to *path_opened when it is given.
template <typename Result, typename Open, typename Opened>
Result first_open(char* name, Result failure, Open open, Opened opened, std::string* path_opened = nullptr) {
    Result result = failure;
    for (const std::string& path : candidates(name)) {
        result = open(path.c_str());
        if (opened(result)) {
            if (path_opened != nullptr) *path_opened = path;
            return result;
        }
    }
    return failure;
}

}  // namespace

bool names_a_folder(const char* name) {
    const std::size_t length = std::strlen(name);
    const auto separator = [](char c) { return c == '/' || (c == '\\' && platform::paths_are_dos_like()); };
    if (length == 0) return false;
    if (separator(name[length - 1])) return true;
    return name[length - 1] == '.' && (length == 1 || separator(name[length - 2]));
}

std::vector<std::string> candidates(char* name) {
    std::vector<std::string> list;
    const char* root = dirs::rgetbase();
    if (std::strlen(name) > 3 && name[3] == '\\') name[3] = '/';
    if (names_a_folder(name)) return list;
    switch (class_of(name)) {
        case NameClass::Searched:
            if (std::strcmp(dirs::get_home_dir(), root) != 0) add(list, dirs::get_home_dir(), "/", name);
            add(list, root, "/vst/", name);
            add(list, root, "/", name);
            break;
        case NameClass::RootOnly:
            add(list, root, "/", name);
            break;
        case NameClass::Other:
            add(list, "", "", name);
            if (dirs::is_absolute(name)) break;
            if (std::strcmp(dirs::get_home_dir(), root) != 0) add(list, dirs::get_home_dir(), "/", name);
            add(list, root, "/", name);
            break;
    }
    return list;
}

platform::TextFile* rfopen(char* name, const char* mode) {
    return first_open<platform::TextFile*>(
        name, nullptr, [&](const char* path) { return platform::text_open(path, mode); },
        [](platform::TextFile* file) { return file != nullptr; });
}

std::int16_t ropen(char* name, platform::FileAccess access, int permission, std::string* opened) {
    return static_cast<std::int16_t>(first_open<int>(
        name, -1, [&](const char* path) { return platform::file_open(path, access, permission); },
        [](int handle) { return handle >= 0; }, opened));
}

}  // namespace qx::paths
