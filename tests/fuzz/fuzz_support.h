// What the fuzz targets share: the standard headers they use, a check that stops the
// run, and a copy of the sample installation of the run's own, named by QXBASE and HOME
// and removed at exit.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/env.h"

namespace qx::fuzz {

inline void check(bool ok) {
    if (!ok) std::abort();
}

inline std::string root;  // the copy of the installation

inline void use_installation_copy(const char* name) {
    root = std::string("/tmp/") + name + "-XXXXXX";
    check(mkdtemp(root.data()) != nullptr);
    check(std::system(("cp -r '" QX_SOURCE_DIR "/examples/installation/.' '" + root + "'").c_str()) == 0);
    std::atexit([] { check(std::system(("rm -rf '" + root + "'").c_str()) == 0); });
    platform::set_env("QXBASE", root.c_str());
    platform::set_env("HOME", (root + "/home").c_str());
    platform::set_env("VELMORA_REGISTRY", "/nonexistent/registry.reg");
}

}  // namespace qx::fuzz
