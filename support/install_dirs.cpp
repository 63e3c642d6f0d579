// The installation root, the home directory and paths under the home directory.
#include "support/install_dirs.h"

#include <cstdio>
#include <cstring>

#include "platform/registry.h"
#include "support/config.h"
#include "support/text.h"

namespace qx::dirs {
namespace {

constexpr unsigned long kEnumBufferSize = 125;  // name and data buffers of the enumeration
constexpr char kDefaultDir[] = "/qx";

char root[kDirSize];                  // the installation root, empty until found
char home[kDirSize];                  // the home directory, empty until found
char home_path_result[kHomePathSize];  // home_path's result
char root_words[64];  // where the root came from, in words
char home_words[64];  // where the home directory came from, in words

// Copies environment variable `name` (through the configuration lookup) into `out`
// when it fits; empty text otherwise.
void copy_variable(const char* name, char* out) {
    const char* value = config::get_config_var(name);
    out[0] = '\0';
    if (std::strlen(value) < kDirSize) text::copy_text(out, kDirSize, value);
}

// Removes one trailing backslash from a text of two characters or more.
void drop_trailing_backslash(char* dir) {
    const std::size_t length = std::strlen(dir);
    if (length >= 2 && dir[length - 1] == '\\') dir[length - 1] = '\0';
}

// One source of a directory: a registry value or an environment variable, by name.
enum class Source { Registry, Environment };
struct Step {
    Source source;
    const char* name;
};

constexpr Step kRootSteps[] = {{Source::Registry, "qxbase"}, {Source::Environment, "QXBASE"}};
constexpr Step kHomeSteps[] = {
    {Source::Environment, "HOME"}, {Source::Registry, "qxhome"}, {Source::Environment, "QXHOME"}};

// Fills `dir` from the first of `steps` that gives text (else the default) and records
// where it came from. A directory found before is returned as it is.
template <std::size_t N>
const char* find_dir(char* dir, char* words, const Step (&steps)[N]) {
    if (dir[0] != '\0') return dir;
    for (const Step& step : steps) {
        if (step.source == Source::Registry) {
            read_registry_value(kRegistryKey, step.name, dir);
        } else {
            copy_variable(step.name, dir);
        }
        if (dir[0] != '\0') {
            std::snprintf(words, sizeof root_words, "%s %s",
                          step.source == Source::Registry ? "registry value" : "environment variable", step.name);
            drop_trailing_backslash(dir);
            return dir;
        }
    }
    text::copy_text(dir, kDirSize, kDefaultDir);  // the default is taken as it is
    text::copy_text(words, sizeof root_words, "default");
    return dir;
}

}  // namespace

bool is_absolute(const char* path) {
    return path[0] == '/' || path[0] == '\\' || (path[0] != '\0' && path[1] == ':');
}

char* read_registry_value(const char* subkey, const char* name, char* out) {
    out[0] = '\0';
    platform::RegistryKey* key = nullptr;
    if (platform::registry_open(subkey, &key) != platform::kRegSuccess) return out;
    char value_name[kEnumBufferSize];
    unsigned char data[kEnumBufferSize + 1];
    for (unsigned long index = 0;; ++index) {
        unsigned long name_size = kEnumBufferSize;
        unsigned long data_size = kEnumBufferSize;
        if (platform::registry_enum_value(key, index, value_name, &name_size, data, &data_size) !=
            platform::kRegSuccess) {
            break;
        }
        if (std::strcmp(value_name, name) != 0) continue;
        data[data_size < kEnumBufferSize ? data_size : kEnumBufferSize] = '\0';  // stored strings may lack one
        const unsigned long needed =
            platform::expand_environment(reinterpret_cast<const char*>(data), out, kDirSize);
        if (needed == 0 || needed > kDirSize) out[0] = '\0';  // did not fit: absent
    }
    platform::registry_close(key);
    return out;
}

const char* rgetbase() { return find_dir(root, root_words, kRootSteps); }

const char* get_home_dir() { return find_dir(home, home_words, kHomeSteps); }

const char* home_path(const char* path) {
    if (is_absolute(path)) return path;
    const int written = std::snprintf(home_path_result, sizeof home_path_result, "%s/%s", get_home_dir(), path);
    if (written < 0 || static_cast<std::size_t>(written) >= sizeof home_path_result) home_path_result[0] = '\0';
    return home_path_result;
}

const char* root_origin() { return root_words; }
const char* home_origin() { return home_words; }

void forget_directories() {
    root[0] = home[0] = root_words[0] = home_words[0] = '\0';
}

}  // namespace qx::dirs
