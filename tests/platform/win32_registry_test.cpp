// The registry on Windows: values written under HKEY_LOCAL_MACHINE\Software\Velmora of
// the test's Wine prefix, read back through the library, then the key is removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/install_dirs.h"
#include "tests/env_guard.h"

namespace qx::dirs {
namespace {

class WindowsRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        forget_directories();
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRegistryKey);
        forget_directories();
    }
    void set(const char* name, const std::string& data, DWORD type = REG_SZ) {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.c_str()),
                                 static_cast<DWORD>(data.size() + 1)),
                  ERROR_SUCCESS);
    }

    HKEY key_ = nullptr;
    test::EnvGuard base_{"QXBASE", nullptr};
    test::EnvGuard home_{"HOME", nullptr};
    test::EnvGuard qxhome_{"QXHOME", nullptr};
};

TEST_F(WindowsRegistryTest, RootWithOneTrailingBackslashDropped) {
    set("qxbase", "D:\\data\\\\");
    EXPECT_STREQ(rgetbase(), "D:\\data\\");
    EXPECT_EQ(root_source(), Source::Registry);
}

TEST_F(WindowsRegistryTest, ExpandableValuesAndExactNames) {
    test::EnvGuard drive("QXTESTDRIVE", "C:");
    char out[kDirSize];
    set("QXBASE", "X:\\wrong");  // value names ignore case on Windows: one value, named QXBASE
    EXPECT_STREQ(read_registry_value(kRegistryKey, "qxbase", out), "");
    ASSERT_EQ(RegDeleteValueA(key_, "QXBASE"), ERROR_SUCCESS);
    set("qxbase", "%QXTESTDRIVE%\\data", REG_EXPAND_SZ);
    EXPECT_STREQ(read_registry_value(kRegistryKey, "qxbase", out), "C:\\data");
    EXPECT_STREQ(read_registry_value(kRegistryKey, "QxBase", out), "");
    EXPECT_STREQ(read_registry_value("Software\\NoSuchKey", "qxbase", out), "");
}

TEST_F(WindowsRegistryTest, HomePrefersHomeOverTheRegistry) {
    set("qxhome", "R:\\ann");
    {
        test::EnvGuard home("HOME", "E:\\users\\ann");
        EXPECT_STREQ(get_home_dir(), "E:\\users\\ann");
    }
    forget_directories();
    EXPECT_STREQ(get_home_dir(), "R:\\ann");
}

}  // namespace
}  // namespace qx::dirs
