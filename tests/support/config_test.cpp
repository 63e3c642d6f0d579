// What is remembered of the environment: the configuration variables of remembered
// names keep their first lookup, the others are read afresh; the installation root.
#include "support/config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/env.h"
#include "support/install_dirs.h"
#include "tests/env_guard.h"

namespace qx::config {
namespace {

// The first, one of the middle and the last remembered name keep their first lookup (the
// same text), an absence too; other names follow the environment.
TEST(ConfigTest, RememberedNamesKeepTheirFirstLookup) {
    forget_config_vars();
    const struct {
        const char* name;
        const char* first;
        bool remembered;
    } rows[] = {{"QX_AFD", nullptr, true},      {"QX_CUSTOMF", "12", true}, {"QX_PEE", "12", true},
                {"QX_SPESTBS", "12", true},     {"QX_KLKGROUP", "1", false}, {"QX_MA", "1", false},
                {"qx_afd", "1", false},         {"QXBASE", "1", false}};
    for (const auto& row : rows) {
        test::EnvGuard first(row.name, row.first);
        const char* got = get_config_var(row.name);
        EXPECT_STREQ(got, row.first != nullptr ? row.first : "") << row.name;
        for (const char* later : {"99", static_cast<const char*>(nullptr)}) {
            test::EnvGuard changed(row.name, later);
            EXPECT_STREQ(get_config_var(row.name), row.remembered ? got : later != nullptr ? later : "") << row.name;
            EXPECT_TRUE(!row.remembered || get_config_var(row.name) == got) << row.name;  // the same text
        }
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
