// Installation root and home directory from the environment and the default, and paths
// under the home directory. (Registry sources: tests/platform/registry_test.cpp.)
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

TEST_F(InstallDirsTest, DefaultsAreTakenAsTheyAre) {
    EXPECT_STREQ(rgetbase(), "/qx");
    EXPECT_EQ(root_source(), Source::Default);
    EXPECT_STREQ(get_home_dir(), "/qx");
    EXPECT_EQ(home_source(), Source::Default);
}

TEST_F(InstallDirsTest, EnvironmentWithOneTrailingBackslashDropped) {
    test::EnvGuard base("QXBASE", "D:\\base\\");
    test::EnvGuard qxhome("QXHOME", "E:\\ann");
    EXPECT_STREQ(rgetbase(), "D:\\base");
    EXPECT_STREQ(get_home_dir(), "E:\\ann");
    EXPECT_EQ(home_source(), Source::Environment);
}

TEST_F(InstallDirsTest, FoundOnceThenAlwaysTheSame) {
    test::EnvGuard base("QXBASE", "/first");
    const char* first = rgetbase();
    test::EnvGuard changed("QXBASE", "/second");
    EXPECT_EQ(rgetbase(), first);
    EXPECT_STREQ(rgetbase(), "/first");
}

TEST_F(InstallDirsTest, ValuesThatDoNotFitCountAsAbsent) {
    test::EnvGuard base("QXBASE", std::string(256, 'b').c_str());
    test::EnvGuard home("HOME", std::string(255, 'h').c_str());
    EXPECT_STREQ(rgetbase(), "/qx");
    EXPECT_EQ(std::string(get_home_dir()), std::string(255, 'h'));
}

TEST_F(InstallDirsTest, HomePath) {
    test::EnvGuard home("HOME", "E:\\users\\ann");
    EXPECT_STREQ(home_path("vst/x"), "E:\\users\\ann/vst/x");
    for (const char* absolute : {"d:x", "\\x", "/x"}) EXPECT_EQ(home_path(absolute), absolute);
    // 12 + 1 + 498 characters fill the 511 a path can have; one more does not fit and
    // gives nothing rather than a cut path.
    const std::string fits(498, 'p');
    EXPECT_EQ(std::string(home_path(fits.c_str())), "E:\\users\\ann/" + fits);
    EXPECT_STREQ(home_path((fits + "p").c_str()), "");
}

}  // namespace
}  // namespace qx::dirs
