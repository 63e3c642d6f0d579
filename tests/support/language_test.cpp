// Language-dependent names and message catalogues on installations that only a
// temporary directory gives: other landcodes, missing and faulty files, long names.
// (The sample installation's: tests/tools/qxtool_cases.tsv.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/catalogue.h"
#include "support/config.h"
#include "support/file_table.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"

namespace qx {
namespace {

// A record of `length` bytes with `fields` (position, text) each ended by "~".
std::string record(std::size_t length, const std::vector<std::pair<std::size_t, std::string>>& fields) {
    std::string data(length, ' ');
    for (const auto& [position, text] : fields) data.replace(position, text.size() + 1, text + "~");
    return data;
}

std::string talen(const char* number, const char* suffix, const char* yes) {
    return record(lang::kTalenLength, {{0, number}, {2, "language"}, {24, suffix}, {28, yes}});
}

std::string message(const std::string& text, const char* code) {
    std::string data = text;
    data.resize(78, ' ');
    return data + code;
}

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override {
        for (const char* name : {"vst/syspar.170", "dta/gen.msg", "dta/gen.deu", "dta/gen.eng", "dta/qxc.msg",
                                 "dta/ten.msg"}) {
            table::table_close(name);
        }
        reset();
    }
    static void reset() {
        config::forget_config_vars();
        dirs::forget_directories();
        lang::forget_language_state();
    }
    void write_syspar(const std::string& landcode) {
        root_.write("vst/syspar.170", record(lang::kSysparLength, {{0, "1"}, {144, landcode}}));
    }
    void write_language_table() {
        root_.write("tab/taal.tab", talen("1", "ned", "J") + talen("2", "deu", "J") + talen("3", "eng", "Y"));
    }
    static std::string mapped(const char* name) {
        char out[256];
        return lang::rgetlan_nam(name, out, sizeof out);
    }

    test::TempDir root_;
    test::EnvGuard registry_{"VELMORA_REGISTRY", "/nonexistent/registry.reg"};
    test::EnvGuard base_{"QXBASE", root_.str().c_str()};
    test::EnvGuard home_{"HOME", root_.str().c_str()};
    test::EnvGuard language_{"QX_LANGUAGE", nullptr};
    test::EnvGuard yes_{"QX_YES", nullptr};
};

// Landcodes 1 to 9 choose their language's suffix; any other counts as 1.
TEST_F(LanguageTest, LandcodeChoosesTheSuffix) {
    std::string nine_languages;
    for (const char* suffix : {"ned", "deu", "eng", "fra", "ita", "esp", "por", "dan", "nin"}) {
        nine_languages += talen(std::to_string(nine_languages.size() / lang::kTalenLength + 1).c_str(), suffix, "J");
    }
    const std::pair<const char*, const char*> cases[] = {
        {"2", "tab/xyz.deu"}, {"9", "tab/xyz.nin"}, {"10", "tab/xyz.tab"}, {"0", "tab/xyz.tab"}, {"", "tab/xyz.tab"}};
    for (const auto& [landcode, name] : cases) {
        reset();
        write_syspar(landcode);
        root_.write("tab/taal.tab", nine_languages);
        EXPECT_EQ(mapped("tab/xyz.tab"), name) << "[" << landcode << "]";
        EXPECT_EQ(lang::yes_letter(), 'j');
    }
    char out[32] = "left over";
    EXPECT_EQ(lang::apply_language(9, "tab/abc.tab", out, sizeof out), 'J');  // the letter as in the table
    EXPECT_STREQ(out, "tab/abc.nin");
}

TEST_F(LanguageTest, ShortOrGarbageFilesChangeNoName) {
    root_.write("vst/syspar.170", "1~ garbage");  // shorter than one record: not loaded
    root_.write("tab/taal.tab", std::string(45, '\x7f'));  // record 1 is garbage, 2 is short
    test::EnvGuard language("QX_LANGUAGE", "deu");
    EXPECT_EQ(mapped("tab/xyz.tab"), "tab/xyz.tab");
    EXPECT_EQ(mapped("dta/gen.msg"), "dta/gen.msg");
}

TEST_F(LanguageTest, WithoutALanguageTableNamesStayAndTheYesLetterIsABlank) {
    write_syspar("2");
    EXPECT_EQ(mapped("tab/xyz.tab"), "tab/xyz.tab");
    EXPECT_EQ(lang::yes_letter(), ' ');
}

TEST_F(LanguageTest, WithoutSystemParametersLanguageOneAndTheFileIsTriedAgain) {
    write_language_table();
    EXPECT_EQ(mapped("tab/xyz.tab"), "tab/xyz.tab");
    write_syspar("3");
    EXPECT_EQ(mapped("tab/xyz.tab"), "tab/xyz.eng");
}

// A line longer than the buffer comes in pieces of 79 characters, each a message.
TEST_F(LanguageTest, TextCatalogues) {
    write_syspar("1");
    root_.write("tab/help.tab", "line 1\r\n" + std::string(100, 'L') + "\n" + "last line without newline");
    char buffer[catalogue::kMessageBufferSize];
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, 2), 6);
    EXPECT_EQ(std::string(buffer), std::string(79, 'L'));
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, 3), 6);
    EXPECT_EQ(std::string(buffer), std::string(21, 'L'));
}

TEST_F(LanguageTest, RecordCatalogues) {
    write_syspar("1");
    std::string records;
    for (int i = 1; i <= 10; ++i) records += message("text " + std::to_string(i), i == 7 ? "12" : " 5");
    records.replace(2 * 80 + 2, 1, std::string(1, '\0'));  // a NUL ends message 3's text
    root_.write("dta/ten.msg", records);
    char buffer[catalogue::kMessageBufferSize];
    EXPECT_EQ(catalogue::rtekst("dta/ten.msg", buffer, 3), 5);
    EXPECT_STREQ(buffer, "te");
    const std::string long_name = "dta/" + std::string(200, 'x') + ".msg";
    EXPECT_EQ(catalogue::rtekst(long_name.c_str(), buffer, 1), 3);
    EXPECT_EQ(std::strlen(buffer), 78u);  // cut to the buffer's 78 characters of text
    // A name of 255 characters, the longest a name can be, is read; one more is not.
    std::string longest = root_.str() + "/dta/";
    longest += std::string(255 - longest.size() - 4, 'n') + ".msg";
    root_.write(longest.substr(root_.str().size() + 1), records);
    EXPECT_EQ(catalogue::rtekst(longest.c_str(), buffer, 7), 12);
    table::table_close(longest.c_str());  // the tests share one process under Wine, and its open files
    root_.write(longest.substr(root_.str().size() + 1) + "g", records);
    EXPECT_EQ(catalogue::rtekst((longest + "g").c_str(), buffer, 7), 3);
}

TEST_F(LanguageTest, CataloguesFollowTheLanguageExceptQxc) {
    write_syspar("2");
    write_language_table();
    root_.write("dta/gen.msg", message("Dutch", "01"));
    root_.write("dta/gen.deu", message("German", "02"));
    root_.write("dta/qxc.msg", message("Own name", "04"));  // not 3: that is the failure code
    char buffer[catalogue::kMessageBufferSize];
    EXPECT_EQ(catalogue::rtekst("dta/gen.msg", buffer, 1), 2);
    EXPECT_EQ(catalogue::rtekst("dta/qxc.msg", buffer, 1), 4);
}

}  // namespace
}  // namespace qx
