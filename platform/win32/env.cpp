// Environment for Windows, through the C runtime's _putenv_s, which updates both the
// runtime's copy (read by getenv) and the process environment.
#include "platform/env.h"

#include <cstdlib>

namespace qx::platform {

bool set_env(const char* name, const char* value) {
    return ::_putenv_s(name, value != nullptr ? value : "") == 0;
}

}  // namespace qx::platform
