// The Linux registry: the buffer rules of RegEnumValueA and the expansion of %NAME%
// references. (The files as Windows writes them, and the directories read through them:
// tests/tools/qxtool_cases.tsv.)
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>

#include <optional>
#include <string>

#include "tests/env_guard.h"
#include "tests/temp_dir.h"

namespace qx::platform {
namespace {

class RegistryFileTest : public ::testing::Test {
  protected:
    void use(const std::string& contents) { file_.emplace("VELMORA_REGISTRY", dir_.write("registry.reg", contents).c_str()); }

    test::TempDir dir_;
    std::optional<test::EnvGuard> file_;
};

TEST_F(RegistryFileTest, EnumeratesInFileOrderWithTheBufferRules) {
    use("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora]\r\n"
        "\"A\"=\"hello\"\r\n"
        "\"LongerName\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,78,00,00,00\r\n"
        "\"path\"=\"D:\\\\data\\\\\"\r\n\"quote\"=\"say \\\"hi\\\"\"\r\n\"n\"=dword:00000010\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"A\"=\"other\"\r\n");
    RegistryKey* key = nullptr;
    ASSERT_EQ(registry_open("Software\\Velmora", &key), kRegSuccess);
    char name[125];
    unsigned char data[125];
    unsigned long name_size = 1;  // no room for the terminator of "A"
    unsigned long data_size = sizeof data;
    EXPECT_EQ(registry_enum_value(key, 0, name, &name_size, data, &data_size), 234);  // ERROR_MORE_DATA
    std::memset(name, 'x', sizeof name);  // the terminator must come from the enumeration
    name_size = 2;                        // "A" and its terminator: fits exactly
    data_size = sizeof data;
    ASSERT_EQ(registry_enum_value(key, 0, name, &name_size, data, &data_size), kRegSuccess);
    EXPECT_STREQ(name, "A");
    EXPECT_EQ(name_size, 1u);
    EXPECT_EQ(data_size, 6u);  // "hello" and its terminator
    EXPECT_STREQ(reinterpret_cast<char*>(data), "hello");

    name_size = 4;  // "LongerName" does not fit: the name count stays as it was
    data_size = sizeof data;
    EXPECT_EQ(registry_enum_value(key, 1, name, &name_size, data, &data_size), kRegMoreData);
    EXPECT_EQ(name_size, 4u);
    name_size = sizeof name;
    data_size = 3;  // nor the data: the size needed comes back
    EXPECT_EQ(registry_enum_value(key, 1, name, &name_size, data, &data_size), kRegMoreData);
    EXPECT_EQ(data_size, 9u);
    data_size = sizeof data;
    ASSERT_EQ(registry_enum_value(key, 1, name, &name_size, data, &data_size), kRegSuccess);
    EXPECT_STREQ(reinterpret_cast<char*>(data), "%TEMP%\\x");  // not expanded by the enumeration

    const char* expected[] = {"D:\\data\\", "say \"hi\""};
    for (unsigned long index = 2; index <= 3; ++index) {
        name_size = sizeof name;
        data_size = sizeof data;
        std::memset(data, 'x', sizeof data);  // the terminator must come from the enumeration
        ASSERT_EQ(registry_enum_value(key, index, name, &name_size, data, &data_size), kRegSuccess);
        EXPECT_STREQ(reinterpret_cast<char*>(data), expected[index - 2]);
    }
    name_size = sizeof name;
    data_size = sizeof data;
    ASSERT_EQ(registry_enum_value(key, 4, name, &name_size, data, &data_size), kRegSuccess);
    EXPECT_EQ(data_size, 4u);
    EXPECT_EQ(data[0], 0x10);
    EXPECT_EQ(registry_enum_value(key, 5, name, &name_size, data, &data_size), 259);  // ERROR_NO_MORE_ITEMS
    registry_close(key);
}

TEST(ExpandEnvironmentTest, TheWindowsRules) {
    test::EnvGuard value("ZZV", "val");
    struct Case {
        const char* source;
        const char* expanded;
    };
    const Case cases[] = {{"%ZZV%", "val"},          {"x%zzv%y", "xvaly"},       {"%UNDEF_ZZ%", "%UNDEF_ZZ%"},
                          {"100%", "100%"},          {"%", "%"},                 {"%%", "%%"},
                          {"a%%b", "a%%b"},          {"%ZZV", "%ZZV"},           {"%%ZZV%%", "%%ZZV%%"},
                          {"50% and %ZZV%", "50% and %ZZV%"}, {"", ""}};
    for (const Case& c : cases) {
        char out[64];
        EXPECT_EQ(expand_environment(c.source, out, sizeof out), std::string(c.expanded).size() + 1) << c.source;
        EXPECT_STREQ(out, c.expanded) << c.source;
    }
    char small[2];
    EXPECT_EQ(expand_environment("%ZZV%", small, sizeof small), 4u);  // too small: the size needed
    EXPECT_EQ(expand_environment("%ZZV%", nullptr, 0), 4u);
}

}  // namespace
}  // namespace qx::platform
