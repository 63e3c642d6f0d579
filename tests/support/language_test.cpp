// Language-dependent names, message catalogues and the weekday and month names, on
// installations written into temporary directories.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/catalogue.h"
#include "support/config.h"
#include "support/datetime/date_text.h"
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

TEST_F(LanguageTest, LandcodeChoosesTheSuffix) {
    std::string nine_languages;
    for (const char* suffix : {"ned", "deu", "eng", "fra", "ita", "esp", "por", "dan", "nin"}) {
        nine_languages += talen(std::to_string(nine_languages.size() / lang::kTalenLength + 1).c_str(), suffix, "J");
    }
    const std::pair<const char*, const char*> cases[] = {{"2", "tab/xyz.deu"}, {"9", "tab/xyz.nin"}};  // and the last
    for (const auto& [landcode, name] : cases) {
        reset();
        write_syspar(landcode);
        root_.write("tab/taal.tab", nine_languages);
        EXPECT_EQ(mapped("tab/xyz.tab"), name);
        EXPECT_EQ(mapped("dta/gen.msg"), std::string(name).replace(0, 7, "dta/gen"));
        EXPECT_EQ(lang::yes_letter(), 'j');
    }
    char out[32] = "left over";
    EXPECT_EQ(lang::apply_language(9, "tab/abc.tab", out, sizeof out), 'J');  // the letter as in the table
    EXPECT_STREQ(out, "tab/abc.nin");
}

TEST_F(LanguageTest, LandcodeOutsideOneToNineBecomesOne) {
    write_language_table();
    for (const char* landcode : {"", "0", "12"}) {
        reset();
        write_syspar(landcode);
        EXPECT_EQ(mapped("tab/xyz.tab"), "tab/xyz.tab") << "[" << landcode << "]";
        EXPECT_STREQ(lang::syspar_record() + 144, "1");
        EXPECT_EQ(lang::yes_letter(), 'j');
    }
}

TEST_F(LanguageTest, QxLanguageChoosesByTheFirstThreeLetters) {
    write_syspar("2");
    write_language_table();
    const std::pair<const char*, const char*> cases[] = {
        {"eng", "tab/xyz.eng"}, {"english", "tab/xyz.eng"}, {"ned", "tab/xyz.tab"}, {"   ", "tab/xyz.tab"},
        {"xyz", "tab/xyz.deu"}};
    for (const auto& [code, name] : cases) {
        reset();
        test::EnvGuard language("QX_LANGUAGE", code);
        if (std::getenv("QX_LANGUAGE") == nullptr) continue;  // Windows keeps no blank-only... values
        EXPECT_EQ(mapped("tab/xyz.tab"), name) << code;
        EXPECT_EQ(mapped("tab/xyz.tab"), name) << code << " (second mapping)";
    }
    char record[lang::kTalenLength];  // the record of the language found comes back with it
    EXPECT_EQ(lang::find_language("ned", record), 1);
    EXPECT_EQ(std::string(record + 24, 3), "ned");
    EXPECT_EQ(lang::find_language("eng", record), 3);
    EXPECT_EQ(std::string(record + 24, 3), "eng");
    reset();
    test::EnvGuard english("QX_LANGUAGE", "eng");
    mapped("tab/xyz.tab");
    EXPECT_EQ(lang::yes_letter(), 'y');
}

TEST_F(LanguageTest, QxYesGivesTheYesLetter) {
    write_syspar("1");
    write_language_table();
    // An empty value: its first character is the terminator, shifted by 32.
    for (const auto& [yes, letter] : {std::pair{"Oui", 'o'}, std::pair{"", ' '}}) {
        reset();
        test::EnvGuard guard("QX_YES", yes);
        if (std::getenv("QX_YES") == nullptr) continue;  // this environment keeps no empty values
        mapped("tab/xyz.tab");
        EXPECT_EQ(lang::yes_letter(), letter) << "[" << yes << "]";
    }
}

TEST_F(LanguageTest, ShortOrGarbageFilesChangeNoName) {
    root_.write("vst/syspar.170", "1~ garbage");  // shorter than one record: not loaded
    root_.write("tab/taal.tab", std::string(45, '\x7f'));  // record 1 is garbage, 2 is short
    test::EnvGuard language("QX_LANGUAGE", "deu");
    EXPECT_EQ(mapped("tab/xyz.tab"), "tab/xyz.tab");
    EXPECT_EQ(mapped("dta/gen.msg"), "dta/gen.msg");
}

TEST_F(LanguageTest, TheLanguageTableItselfIsNeverMapped) {
    write_syspar("2");
    write_language_table();
    test::EnvGuard yes("QX_YES", "N");
    EXPECT_EQ(mapped("tab/taal.tab"), "tab/taal.tab");
    EXPECT_EQ(mapped("tab/mnucmd.bes"), "tab/mnucmd.bes");
    EXPECT_EQ(lang::yes_letter(), 'j');  // untouched by those two
    EXPECT_GE(table::table_open("tab/taal.tab", "r"), 0);  // the table's own open does not recurse
    table::table_close("tab/taal.tab");
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

TEST_F(LanguageTest, ShortNamesKeepTheirName) {
    write_syspar("2");
    write_language_table();
    EXPECT_EQ(mapped("ab"), "ab");
    EXPECT_EQ(mapped("abc"), "deu");
    const std::string longest = "dta/" + std::string(248, 'n') + ".msg";  // 255 characters
    EXPECT_EQ(mapped(longest.c_str()), longest.substr(0, 252) + "deu");
}

TEST_F(LanguageTest, TextCatalogues) {
    write_syspar("1");
    std::string lines;
    for (int i = 1; i <= 120; ++i) lines += "line " + std::to_string(i) + "\r\n";
    lines += std::string(100, 'L') + "\n" + "last line without newline";
    root_.write("tab/help.tab", lines);
    char buffer[catalogue::kMessageBufferSize];
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, 116), catalogue::kTextCode);
    EXPECT_STREQ(buffer, "line 116");
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, 121), 6);
    EXPECT_EQ(std::string(buffer), std::string(79, 'L'));  // a piece of 79, returned whole
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, 122), 6);
    EXPECT_EQ(std::string(buffer), std::string(21, 'L'));
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, 500), 6);
    EXPECT_STREQ(buffer, "last line without newline");  // beyond the end: the last line, whole
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, 0), 6);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(catalogue::rtekst("tab/help.tab", buffer, -3), 6);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(catalogue::rtekst("tab/none.tab", buffer, 4), 6);
    EXPECT_STREQ(buffer, "  Can't open tab/none.tab, msgnr = 4 ");
}

TEST_F(LanguageTest, RecordCatalogues) {
    write_syspar("1");
    std::string records;
    for (int i = 1; i <= 10; ++i) records += message("text " + std::to_string(i), i == 7 ? "12" : " 5");
    records.replace(2 * 80 + 2, 1, std::string(1, '\0'));  // a NUL ends message 3's text
    root_.write("dta/ten.msg", records);
    char buffer[catalogue::kMessageBufferSize];
    EXPECT_EQ(catalogue::rtekst("dta/ten.msg", buffer, 7), 12);
    EXPECT_EQ(std::string(buffer), "text 7" + std::string(72, ' '));
    EXPECT_EQ(catalogue::rtekst("dta/ten.msg", buffer, 1), 5);
    EXPECT_EQ(catalogue::rtekst("dta/ten.msg", buffer, 3), 5);
    EXPECT_STREQ(buffer, "te");
    for (std::int16_t number : {std::int16_t{11}, std::int16_t{0}, std::int16_t{-1}, std::int16_t{INT16_MIN},
                                std::int16_t{INT16_MAX}}) {
        EXPECT_EQ(catalogue::rtekst("dta/ten.msg", buffer, number), catalogue::kFailureCode) << number;
        EXPECT_EQ(std::string(buffer), "  Msgfile dta/ten.msg; error in message. Msgnr = " + std::to_string(number) + ".");
    }
    EXPECT_EQ(catalogue::rtekst("dta/none.msg", buffer, 1), 3);
    EXPECT_STREQ(buffer, "  Can't open dta/none.msg, msgnr = 1 ");
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

TEST_F(LanguageTest, WeekdayAndMonthNames) {
    write_syspar("1");
    std::string records;
    for (int i = 1; i <= 123; ++i) {
        std::string text = "message " + std::to_string(i);
        if (i == 113) text = "oktober";
        if (i == 120) text = "donderdag";
        if (i == 122) text = "zaterdag";
        records += message(text, "01");
    }
    root_.write("dta/gen.msg", records);
    char buffer[80];
    EXPECT_STREQ(datetime::date_text(101014, "dd", buffer, sizeof buffer), "do");
    EXPECT_STREQ(datetime::date_text(101014, "ddl", buffer, sizeof buffer), "donderdag ");
    EXPECT_STREQ(datetime::date_text(101014, "mm", buffer, sizeof buffer), "okt");
    EXPECT_STREQ(datetime::date_text(101014, "mml", buffer, sizeof buffer), "oktober ");
    EXPECT_STREQ(datetime::date_text(101, "ddl", buffer, sizeof buffer), "zaterdag ");
    EXPECT_STREQ(datetime::date_text(999999, "ddl", buffer, sizeof buffer), "donderdag ");
    EXPECT_STREQ(datetime::date_text(999999, "mml", buffer, sizeof buffer),
                 "  Msgfile dta/gen.msg; error in message. Msgnr = 202.");
    EXPECT_STREQ(datetime::date_text(0, "ddl", buffer, sizeof buffer), "");
    char small[3];
    EXPECT_STREQ(datetime::date_text(101014, "ddl", small, sizeof small), "do");
}

}  // namespace
}  // namespace qx
