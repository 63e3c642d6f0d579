// The process environment, beyond what std::getenv reads: setting and removing
// variables (on Windows through the C runtime, so getenv sees the change), telling
// without a search that a variable cannot have changed, and the name of the platform
// layer this program was linked with. No state of its own.
#pragma once

#include <cstddef>

namespace qx::platform {

// "posix" or "win32": which implementation of the platform layer is linked.
const char* backend_name();

// Sets variable `name` to `value`, or removes it when value is null. Returns true on
// success. On Windows an empty value removes the variable, as the C runtime does.
bool set_env(const char* name, const char* value);

// Where std::getenv found a variable, or that it found none: enough to tell later,
// with a few loads instead of a search, that the environment has not changed for it.
struct EnvPlace {
    char** table = nullptr;       // the C runtime's table of "NAME=value" entries then
    std::size_t index = 0;        // the variable's entry; when absent, the table's length
    const char* entry = nullptr;  // table[index] then; when absent, the last entry (null: none)
    bool found = false;
    bool known = false;           // false: the lookup could not be placed, look again
};

// std::getenv(name), noting in `place` where it was found.
const char* env_find(const char* name, EnvPlace* place);

// What std::getenv(name) gives now, when the environment has not changed for `name`
// since env_find filled `place`: that entry is still the table's entry at that index,
// or, for an absent variable, the table is still the same with the same length and
// the same last entry (setenv and putenv replace a variable's entry or add one at
// the end; unsetenv shortens the table). Null when any of that differs: then look
// again with env_find. A program that writes the table's entries itself is not seen.
// Always null on Windows, whose C runtime reuses the addresses of entries it freed
// (env_find there is getenv).
const char* env_value_again(const EnvPlace& place, const char* name);

// std::getenv(name) (null when the variable is absent), searched for only when the
// environment may have changed for `name` since the last call with `place`: for a
// variable that is read afresh on every use, on a path taken for every request.
inline const char* env_get(const char* name, EnvPlace* place) {
    const char* value = env_value_again(*place, name);
    if (value == nullptr) return env_find(name, place);
    return place->found ? value : nullptr;
}

}  // namespace qx::platform
