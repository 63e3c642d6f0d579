// What is remembered of the environment: the configuration variables of remembered
// names keep their first lookup, the others are read afresh; the installation root.
// Each test uses names no other test in this process looks up.
#include "support/config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/env.h"
#include "support/install_dirs.h"
#include "tests/env_guard.h"

namespace qx::config {
namespace {

TEST(ConfigTest, CachedAbsenceIsRemembered) {
    test::EnvGuard unset("QX_AFD", nullptr);
    EXPECT_STREQ(get_config_var("QX_AFD"), "");
    test::EnvGuard later("QX_AFD", "10");
    EXPECT_STREQ(get_config_var("QX_AFD"), "");
}

TEST(ConfigTest, CachedValueIsRememberedAndTheSameText) {
    for (const char* name : {"QX_CUSTOMF", "QX_PEE", "QX_SPESTBS"}) {  // the first, one, the last remembered
        test::EnvGuard set(name, "12");
        const char* first = get_config_var(name);
        EXPECT_STREQ(first, "12") << name;
        test::EnvGuard changed(name, "99");
        EXPECT_EQ(get_config_var(name), first) << name;
        EXPECT_STREQ(get_config_var(name), "12") << name;
    }
}

TEST(ConfigTest, OtherNamesFollowTheEnvironment) {
    for (const char* name : {"QX_KLKGROUP", "QX_MA", "qx_afd", "QXBASE"}) {
        test::EnvGuard first(name, "one");
        EXPECT_STREQ(get_config_var(name), "one") << name;
        test::EnvGuard second(name, "two");
        EXPECT_STREQ(get_config_var(name), "two") << name;
        test::EnvGuard gone(name, nullptr);
        EXPECT_STREQ(get_config_var(name), "") << name;
    }
    EXPECT_STREQ(get_config_var(nullptr), "");
}

// The installation root is found once, then always the same.
TEST(ConfigTest, TheRootIsFoundOnce) {
    test::EnvGuard registry("VELMORA_REGISTRY", "/nonexistent/registry.reg");
    test::EnvGuard base("QXBASE", "/first");
    dirs::forget_directories();
    const char* first = dirs::rgetbase();
    test::EnvGuard changed("QXBASE", "/second");
    EXPECT_EQ(dirs::rgetbase(), first);
    EXPECT_STREQ(dirs::rgetbase(), "/first");
    dirs::forget_directories();
}

}  // namespace
}  // namespace qx::config
