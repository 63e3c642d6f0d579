// The Linux registry: a registry export file read as HKEY_LOCAL_MACHINE, enumerated with
// the buffer rules of RegEnumValueA, and the expansion of %NAME% references; then the
// installation directories read through it.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>

#include <optional>
#include <string>
#include <vector>

#include "support/install_dirs.h"
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

// The files people have: what regedit and reg export write on Windows (UTF-16LE with a
// byte-order mark, CR LF, hex(2) in UTF-16LE over continued lines), the same in UTF-8
// with or without a mark, REGEDIT4; one without the key; and files that are no export or
// cannot be read.
TEST_F(RegistryFileTest, ReadsTheFilesWindowsWritesAndSaysWhyNot) {
    auto utf16 = [](const std::u16string& text) {
        std::string bytes = "\xff\xfe";
        for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        return bytes;
    };
    const std::u16string export5 =
        u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora]\r\n"
        u"\"qxbase\"=\"/srv/caf\u00e9 \u20ac \u4e2d\u00ff\"\r\n"
        u"\"qxhome\"=hex(2):2f,00,68,00,6f,00,6d,00,65,00,\\\r\n  2f,00,e9,00,00,00\r\n";
    const struct {
        std::string file;
        const char* base;  // the value of qxbase, null: the key is not read
        const char* home;
        bool problem;      // reported by registry_problem
    } kCases[] = {
        {utf16(export5), "/srv/caf\xe9 \x80 ?\xff", "/home/\xe9", false},  // code page 1252, '?' beyond it
        {utf16(export5).substr(0, utf16(export5).size() - 1), "/srv/caf\xe9 \x80 ?\xff", "/home/\xe9", false},
        {"\xef\xbb\xbfWindows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Velmora]\n"
         "\"qxbase\"=\"/srv/x\"\n\"qxhome\"=hex(2):2f,00,68,00\n",  // no terminator: its last character kept
         "/srv/x", "/h", false},
        {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Velmora]\r\n\"qxbase\"=\"/srv/caf\xe9\"\r\n"
         "\"qxhome\"=hex(2):2f,68,00\r\n",
         "/srv/caf\xe9", "/h", false},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"a\"=\"b\"\n", nullptr, nullptr, false},
        {"[HKEY_LOCAL_MACHINE\\Software\\Velmora]\n\"qxbase\"=\"/srv/x\"\n", nullptr, nullptr, true},
        {utf16(u"Windows Registry"), nullptr, nullptr, true},
    };
    int row = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(row++);
        use(c.file);
        RegistryKey* key = nullptr;
        const long opened = registry_open("Software\\Velmora", &key);
        EXPECT_EQ(!registry_problem().empty(), c.problem) << registry_problem();
        if (c.base == nullptr) {
            EXPECT_EQ(opened, 2);  // ERROR_FILE_NOT_FOUND
            continue;
        }
        ASSERT_EQ(opened, kRegSuccess);
        std::vector<std::string> values;
        for (unsigned long index = 0;; ++index) {
            char name[64];
            unsigned char data[64];
            unsigned long name_size = sizeof name, data_size = sizeof data;
            if (registry_enum_value(key, index, name, &name_size, data, &data_size) != kRegSuccess) break;
            values.emplace_back(reinterpret_cast<char*>(data));
        }
        registry_close(key);
        ASSERT_GE(values.size(), 1u);
        EXPECT_EQ(values[0], c.base);
        if (c.home != nullptr) {
            ASSERT_EQ(values.size(), 2u);
            EXPECT_EQ(values[1], c.home);
        }
    }
    // A file that exists but cannot be read (a directory); an absent one is no problem.
    test::EnvGuard directory("VELMORA_REGISTRY", dir_.str().c_str());
    RegistryKey* key = nullptr;
    EXPECT_EQ(registry_open("Software\\Velmora", &key), kRegFileNotFound);
    EXPECT_NE(registry_problem().find(dir_.str()), std::string::npos) << registry_problem();
    test::EnvGuard absent("VELMORA_REGISTRY", (dir_.str() + "/none.reg").c_str());
    EXPECT_EQ(registry_open("Software\\Velmora", &key), kRegFileNotFound);
    EXPECT_EQ(registry_problem(), "");
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

class InstallDirsRegistryTest : public RegistryFileTest {
  protected:
    void SetUp() override { dirs::forget_directories(); }
    void TearDown() override { dirs::forget_directories(); }
    test::EnvGuard base_{"QXBASE", nullptr};
    test::EnvGuard home_{"HOME", nullptr};
    test::EnvGuard qxhome_{"QXHOME", nullptr};
};

// The value of "qxbase" (other spellings of the name are other values), expanded, with
// one trailing backslash dropped; an expansion longer than the buffer counts as absent.
TEST_F(InstallDirsRegistryTest, RootFromTheRegistryExpandedWithOneBackslashDropped) {
    test::EnvGuard drive("SystemDrive", "C:");
    test::EnvGuard long_value("LONGVALUE", std::string(300, 'L').c_str());
    const std::pair<const char*, const char*> cases[] = {
        {"D:\\\\data\\\\", "D:\\data"}, {"D:\\\\data\\\\\\\\", "D:\\data\\"}, {"D:/data/", "D:/data/"}, {"\\\\", "\\"},
        {"X\\\\", "X"},  // two characters are enough to lose the backslash
        {"%SystemDrive%\\\\data", "C:\\data"}, {"%LONGVALUE%", nullptr}};
    for (const auto& [stored, root] : cases) {
        use(std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Velmora]\n\"QXBASE\"=\"X:\\\\wrong\"\n\"QxBase\"=\"Y:\"\n"
                        "\"qxbase\"=\"") + stored + "\"\n");
        dirs::forget_directories();
        EXPECT_STREQ(dirs::rgetbase(), root != nullptr ? root : "/qx") << stored;
        EXPECT_EQ(dirs::root_source(), root != nullptr ? dirs::Source::Registry : dirs::Source::Default) << stored;
    }
}

// The enumeration's buffers hold 125 bytes: a value of 124 characters and its terminator
// fits and the enumeration goes on; one more character ends it.
TEST_F(InstallDirsRegistryTest, EnumerationStopsAtAValueThatDoesNotFit) {
    test::EnvGuard base("QXBASE", "/from/env");
    const std::pair<std::size_t, const char*> cases[] = {{124, "/seen"}, {125, "/from/env"}, {130, "/from/env"}};
    for (const auto& [length, root] : cases) {
        use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Velmora]\n\"big\"=\"" + std::string(length, 'x') +
            "\"\n\"qxbase\"=\"/seen\"\n");
        dirs::forget_directories();
        EXPECT_STREQ(dirs::rgetbase(), root) << length;
    }
}

TEST_F(InstallDirsRegistryTest, HomePrefersHomeThenRegistryThenQxhome) {
    use("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\Velmora]\n\"qxhome\"=\"R:\\\\ann\\\\\"\n");
    {
        test::EnvGuard home("HOME", "/home/ann");
        EXPECT_STREQ(dirs::get_home_dir(), "/home/ann");
    }
    dirs::forget_directories();
    EXPECT_STREQ(dirs::get_home_dir(), "R:\\ann");
    EXPECT_EQ(dirs::home_source(), dirs::Source::Registry);
}

}  // namespace
}  // namespace qx::platform
