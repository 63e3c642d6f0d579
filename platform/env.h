// The process environment, beyond what std::getenv reads: setting and removing
// variables (on Windows through the C runtime, so getenv sees the change). No state of
// its own.
#pragma once

namespace qx::platform {

// Sets variable `name` to `value`, or removes it when value is null. Returns true on
// success. On Windows an empty value removes the variable, as the C runtime does.
bool set_env(const char* name, const char* value);

}  // namespace qx::platform
