// Language-dependent names and message catalogues where a table cannot reach: files
// that appear while the process runs, and names as long as a name can be (the rest:
// tests/tools/qxtool_cases.tsv).
#include <gtest/gtest.h>

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
        table::table_close("vst/syspar.170");
        reset();
    }
    static void reset() {
        config::forget_config_vars();
        dirs::forget_directories();
        lang::forget_language_state();
    }
    void write_syspar(const char* landcode) {
        root_.write("vst/syspar.170", record(lang::kSysparLength, {{0, "1"}, {144, landcode}}));
    }

    test::TempDir root_;
    test::EnvGuard registry_{"VELMORA_REGISTRY", "/nonexistent/registry.reg"};
    test::EnvGuard base_{"QXBASE", root_.str().c_str()};
    test::EnvGuard home_{"HOME", root_.str().c_str()};
    test::EnvGuard language_{"QX_LANGUAGE", nullptr};
    test::EnvGuard yes_{"QX_YES", nullptr};
};

TEST_F(LanguageTest, WithoutSystemParametersLanguageOneAndTheFileIsTriedAgain) {
    root_.write("tab/taal.tab", talen("1", "ned", "J") + talen("2", "deu", "J") + talen("3", "eng", "Y"));
    char out[256];
    EXPECT_STREQ(lang::rgetlan_nam("tab/xyz.tab", out, sizeof out), "tab/xyz.tab");
    write_syspar("3");
    EXPECT_STREQ(lang::rgetlan_nam("tab/xyz.tab", out, sizeof out), "tab/xyz.eng");
}

// A catalogue named with 255 characters is read, one more is not (the tests share one
// process under Wine, and its open files: each is closed).
TEST_F(LanguageTest, ACatalogueNamedWith255CharactersIsReadOneMoreIsNot) {
    write_syspar("1");
    std::string records;
    for (int i = 1; i <= 10; ++i) records += message("text " + std::to_string(i), i == 7 ? "12" : " 5");
    char buffer[catalogue::kMessageBufferSize];
    std::string longest = root_.str() + "/dta/";
    longest += std::string(255 - longest.size() - 4, 'n') + ".msg";
    for (const std::string& name : {longest, longest + "g"}) {
        root_.write(name.substr(root_.str().size() + 1), records);
        EXPECT_EQ(catalogue::rtekst(name.c_str(), buffer, 7), name == longest ? 12 : 3) << name.size();
        table::table_close(name.c_str());
    }
}

}  // namespace
}  // namespace qx
