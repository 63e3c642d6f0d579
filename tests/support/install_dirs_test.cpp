// Installation root and home directory: found once, their buffers' edges, and paths under
// the home directory (the rest: tests/tools/qxtool_cases.tsv; registry sources:
// tests/platform/registry_test.cpp).
#include "support/install_dirs.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/env_guard.h"

namespace qx::dirs {
namespace {

class InstallDirsTest : public ::testing::Test {
  protected:
    void SetUp() override { forget_directories(); }
    void TearDown() override { forget_directories(); }
    test::EnvGuard registry_{"VELMORA_REGISTRY", "/nonexistent/registry.reg"};
    test::EnvGuard base_{"QXBASE", nullptr};
    test::EnvGuard home_{"HOME", nullptr};
    test::EnvGuard qxhome_{"QXHOME", nullptr};
};

TEST_F(InstallDirsTest, FoundOnceThenAlwaysTheSame) {
    test::EnvGuard base("QXBASE", "/first");
    const char* first = rgetbase();
    test::EnvGuard changed("QXBASE", "/second");
    EXPECT_EQ(rgetbase(), first);
    EXPECT_STREQ(rgetbase(), "/first");
}

// 255 characters fit the root's and the home directory's buffers; 256 count as absent.
TEST_F(InstallDirsTest, ValuesThatDoNotFitCountAsAbsent) {
    for (const std::size_t length : {std::size_t{255}, std::size_t{256}}) {
        forget_directories();
        const std::string base(length, 'b'), home(length, 'h');
        test::EnvGuard base_var("QXBASE", base.c_str());
        test::EnvGuard home_var("HOME", home.c_str());
        EXPECT_EQ(rgetbase(), length == 255 ? base : "/qx");
        EXPECT_EQ(get_home_dir(), length == 255 ? home : "/qx");
    }
}

TEST_F(InstallDirsTest, HomePath) {
    test::EnvGuard home("HOME", "E:\\users\\ann");
    // 12 + 1 + 498 characters fill the 511 a path can have; one more does not fit and
    // gives nothing rather than a cut path.
    const std::string fits(498, 'p');
    EXPECT_EQ(std::string(home_path(fits.c_str())), "E:\\users\\ann/" + fits);
    EXPECT_STREQ(home_path((fits + "p").c_str()), "");
}

}  // namespace
}  // namespace qx::dirs
