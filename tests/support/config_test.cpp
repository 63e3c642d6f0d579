// The configuration-variable lookup: 35 names remembered at their first lookup, the
// others read afresh. Each test uses names no other test in this process looks up.
#include "support/config.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/env.h"
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

TEST(ConfigTest, TheThirtyFiveNames) {
    int cached = 0;
    for (const char* name : {"QX_CUSTOMF", "QX_VALIDF", "QX_SCRNM", "QX_BGCOL", "QX_PLIST", "QX_UITZ", "QX_AND",
                             "QX_AFD", "QX_AFD_PP", "QX_WPLEK", "QX_PEE", "QX_PEE_PP", "QX_FUN", "QX_TEAM",
                             "QX_ORGUN", "QX_SALNUM", "QX_PERS_TB", "QX_MA_GRP", "QX_MA_KREIS", "QX_ORGBADNUM",
                             "QX_PERS_BEREICH", "QX_ABRKREIS", "QX_DATP", "QX_CUSTOMFLAG", "QX_LANGUAGE",
                             "QX_BROWSERID", "QX_LEPLAN_READONLY", "QX_LEPLAN_SUPER", "QX_UIAFD_SUPER",
                             "QX_SHOW_COST", "QX_CATOK", "QX_PPACTS", "QX_PROJVIEWS", "QX_TARIEFS", "QX_SPESTBS"}) {
        cached += is_cached_config_var(name) ? 1 : 0;
    }
    EXPECT_EQ(cached, 35);
    EXPECT_FALSE(is_cached_config_var("QX_KLKGROUP"));
    EXPECT_FALSE(is_cached_config_var("QX_MA1"));
    EXPECT_FALSE(is_cached_config_var("QX_YES"));
}

}  // namespace
}  // namespace qx::config
