// Placing a variable in the C runtime's environment table, on every platform.
#include <cstdlib>
#include <cstring>

#include "platform/env.h"

#ifdef _WIN32
#define QX_ENVIRONMENT _environ
#else
#include <unistd.h>
#define QX_ENVIRONMENT environ
#endif

namespace qx::platform {
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
    char** table = QX_ENVIRONMENT;
    if (table == nullptr) return value;
    place->table = table;
    const std::size_t name_length = std::strlen(name);
    if (value == nullptr) {
        place->index = table_length(table);
        place->entry = place->index > 0 ? table[place->index - 1] : nullptr;
        place->known = true;
        return value;
    }
    // getenv's own rules (case on Windows) found the entry: look for it by its address.
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
    char** table = QX_ENVIRONMENT;
    if (!place.known || table != place.table) return nullptr;
#ifdef _WIN32
    // The C runtime may have shrunk the table in place: walk up to the place, reading
    // no entry past its end (pointer loads only, no name is compared). The POSIX
    // unsetenv moves entries down within the table, which never gets shorter than the
    // place, and the entries past its end are null or stale: neither passes below.
    for (std::size_t i = 0; i < place.index; ++i) {
        if (table[i] == nullptr) return nullptr;
    }
#endif
    if (place.found) {
        // The entry the variable had: still at its place, and still its entry.
        const char* entry = table[place.index];
        if (entry != place.entry) return nullptr;
        std::size_t k = 0;
        for (; name[k] != '\0'; ++k) {
            if (entry[k] == '\0') return nullptr;
        }
        return entry[k] == '=' ? entry + k + 1 : nullptr;
    }
    const char* last = place.index > 0 ? table[place.index - 1] : nullptr;
    return table[place.index] == nullptr && last == place.entry ? "" : nullptr;
}

}  // namespace qx::platform
