// Sets an environment variable for the life of a test and puts the old value back.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/env.h"

namespace qx::test {

class EnvGuard {
  public:
    // Sets `name` to `value`, or removes it when value is null.
    EnvGuard(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        platform::set_env(name, value);
    }
    ~EnvGuard() { platform::set_env(name_.c_str(), old_ ? old_->c_str() : nullptr); }
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;

  private:
    std::string name_;
    std::optional<std::string> old_;
};

}  // namespace qx::test
