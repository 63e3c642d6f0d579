// The registry layer's contract, the same on both implementations: the buffer rules of
// RegEnumValueA and the expansion of %NAME% references as ExpandEnvironmentStringsA does
// it. (The files as Windows writes them, the values they hold, and the directories read
// through them: tests/tools/qxtool_cases.tsv.)
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "tests/env_guard.h"
#include "tests/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace qx::platform {
namespace {

constexpr char kKey[] = "Software\\Velmora";

#ifdef _WIN32
// The key written in the registry itself (of a Wine prefix of the test's own), then removed.
struct TestKey {
    TestKey() {
        const DWORD n = 0x10;
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, "A", REG_SZ, "hello", 6);
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, "LongerName", REG_EXPAND_SZ, "%TEMP%\\x", 9);
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, "n", REG_DWORD, &n, sizeof n);
    }
    ~TestKey() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey); }
};
#else
// The key in a registry file of the test's own, as Windows exports it.
struct TestKey {
    test::TempDir dir;
    test::EnvGuard file{"VELMORA_REGISTRY", dir.write("registry.reg",
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora]\r\n\"A\"=\"hello\"\r\n"
        "\"LongerName\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,78,00,00,00\r\n\"n\"=dword:00000010\r\n").c_str()};
};
#endif

TEST(RegistryTest, EnumerationBufferRules) {
    const TestKey written;
    RegistryKey* key = nullptr;
    ASSERT_EQ(registry_open(kKey, &key), kRegSuccess);
    // The value, the sizes of the buffers; the result, the sizes given back, and what the
    // buffers hold then (after a success).
    struct Row { unsigned long index, name_size, data_size; long result; unsigned long name_after, data_after; std::string name, data; };
    const Row rows[] = {
        {0, 1, 125, kRegMoreData, 1, 6, "", ""},  // no room for the name's terminator
        {0, 2, 6, kRegSuccess, 1, 6, std::string("A\0x", 3), std::string("hello", 6)},  // both fit exactly
        {1, 4, 125, kRegMoreData, 4, 9, "", ""},    // the name does not fit: its count stays
        {1, 125, 8, kRegMoreData, 125, 9, "", ""},  // nor the data: the size needed comes back
        {1, 125, 125, kRegSuccess, 10, 9, std::string("LongerName", 11), std::string("%TEMP%\\x", 9)},  // as stored
        {2, 125, 125, kRegSuccess, 1, 4, std::string("n", 2), std::string("\x10\0\0\0", 4)},
        {3, 125, 125, kRegNoMoreItems, 125, 125, "", ""},
    };
    for (const Row& r : rows) {
        char name[125];
        unsigned char data[125];
        std::memset(name, 'x', sizeof name);  // terminators must come from the enumeration
        std::memset(data, 'x', sizeof data);
        unsigned long name_size = r.name_size;
        unsigned long data_size = r.data_size;
        const long result = registry_enum_value(key, r.index, name, &name_size, data, &data_size);
        EXPECT_EQ(std::tuple(result, name_size, data_size), std::tuple(r.result, r.name_after, r.data_after)) << r.index;
        EXPECT_EQ(std::string(name, r.name.size()) + "|" + std::string(reinterpret_cast<char*>(data), r.data.size()),
                  r.name + "|" + r.data) << r.index;
    }
    registry_close(key);
}

TEST(RegistryTest, ExpandEnvironment) {
    const test::EnvGuard value("ZZV", "val");
    const char* const rows[][2] = {{"%ZZV%", "val"}, {"x%zzv%y", "xvaly"}, {"%UNDEF_ZZ%", "%UNDEF_ZZ%"},
                                   {"100%", "100%"}, {"%", "%"},          {"%%", "%%"},
                                   {"a%%b", "a%%b"}, {"%ZZV", "%ZZV"},    {"%%ZZV%%", "%%ZZV%%"},
                                   {"50% and %ZZV%", "50% and %ZZV%"},    {"%%%ZZV%", "%%val"},
                                   {"", ""}};
    for (const auto& [source, expanded] : rows) {
        char out[64];
        EXPECT_EQ(expand_environment(source, out, sizeof out), std::strlen(expanded) + 1) << source;
        EXPECT_STREQ(out, expanded) << source;
    }
    char fit[4] = {}, small[5] = "xxxx";  // the room it takes, and one less: the size needed
    EXPECT_EQ(expand_environment("%ZZV%", fit, sizeof fit), 4u);
    EXPECT_STREQ(fit, "val");
    EXPECT_EQ(expand_environment("%ZZV%", small, 3), 4u);
    EXPECT_EQ(small[3], 'x');  // nothing beyond the size given
    EXPECT_EQ(expand_environment("%ZZV%", nullptr, 0), 4u);
}

}  // namespace
}  // namespace qx::platform
