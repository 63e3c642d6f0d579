// Environment for POSIX systems, through setenv and unsetenv, and places in the C
// library's table of entries (`environ`).
#include "platform/env.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace qx::platform {

const char* backend_name() { return "posix"; }

bool set_env(const char* name, const char* value) {
    if (value == nullptr) return ::unsetenv(name) == 0;
    return ::setenv(name, value, 1) == 0;
}

namespace {

std::size_t table_length(char** table) {
    std::size_t length = 0;
    while (table[length] != nullptr) ++length;
    return length;
}

}  // namespace

const char* env_find(const char* name, EnvPlace* place) {
    const char* value = std::getenv(name);
    *place = EnvPlace{};
    char** table = environ;
    if (table == nullptr) return value;
    place->table = table;
    const std::size_t name_length = std::strlen(name);
    if (value == nullptr) {
        place->index = table_length(table);
        place->entry = place->index > 0 ? table[place->index - 1] : nullptr;
        place->known = true;
        return value;
    }
    // The entry getenv found, by its address.
    for (std::size_t i = 0; table[i] != nullptr; ++i) {
        if (table[i] + name_length + 1 == value && table[i][name_length] == '=') {
            place->index = i;
            place->entry = table[i];
            place->found = true;
            place->known = true;
            break;
        }
    }
    return value;
}

const char* env_value_again(const EnvPlace& place, const char* name) {
    // glibc never frees an entry setenv made (a second setenv of the same text reuses
    // it), so an address still in place is still that entry.
    char** table = environ;
    if (!place.known || table != place.table) return nullptr;
    if (place.found) {
        // The entry the variable had: still at its place, and still its entry. Read in
        // place: its value may have been written over where it stands.
        const char* entry = table[place.index];
        if (entry != place.entry) return nullptr;
        std::size_t k = 0;
        for (; name[k] != '\0'; ++k) {
            if (entry[k] == '\0') return nullptr;
        }
        return entry[k] == '=' ? entry + k + 1 : nullptr;
    }
    // unsetenv moves the entries down within the table, which never gets shorter than
    // the place; the entries past its end are null or stale, and neither passes here.
    const char* last = place.index > 0 ? table[place.index - 1] : nullptr;
    return table[place.index] == nullptr && last == place.entry ? "" : nullptr;
}

}  // namespace qx::platform
