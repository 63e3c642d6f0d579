// Environment for Windows, through the C runtime's _putenv_s, which updates both the
// runtime's copy (read by getenv) and the process environment.
#include "platform/env.h"

#include <cstdlib>

namespace qx::platform {

const char* backend_name() { return "win32"; }

bool set_env(const char* name, const char* value) {
    return ::_putenv_s(name, value != nullptr ? value : "") == 0;
}

// The C runtime frees the entries it replaces and removes, so an entry made later can
// come back at a freed one's address: a place would prove nothing, and none is kept.
const char* env_find(const char* name, EnvPlace* place) {
    *place = EnvPlace{};
    return std::getenv(name);
}

const char* env_value_again(const EnvPlace&, const char*) { return nullptr; }

}  // namespace qx::platform
