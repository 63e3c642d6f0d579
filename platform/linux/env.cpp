// Environment on Linux, through setenv and unsetenv.
#include "platform/env.h"

#include <cstdlib>

namespace qx::platform {

bool set_env(const char* name, const char* value) {
    if (value == nullptr) return ::unsetenv(name) == 0;
    return ::setenv(name, value, 1) == 0;
}

}  // namespace qx::platform
