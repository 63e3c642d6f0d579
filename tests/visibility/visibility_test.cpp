// The record visibility rules where the tables (tests/tools/scan_golden.sh,
// tests/tools/qxtool_cases.tsv, lists at their edges too) do not reach: a person count
// that grows while the process runs, short records, the rules following the file whatever
// its name, and the environment as a scan and a read find it.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/files.h"
#include "support/config.h"
#include "support/file_table.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "visibility/fields.h"
#include "visibility/file_filters.h"
#include "visibility/records.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"
#include "visibility/personnel_filter.h"

namespace qx::visibility {
namespace {

constexpr std::size_t kPersonLength = 1423;

// A record of `length` bytes (blanks) with texts at byte positions, each ended by `end`:
// "\0" as the record reader leaves them, "~" as a file holds them.
std::string record(std::size_t length, const std::map<std::size_t, std::string>& fields, char end = '\0') {
    std::string data(length, ' ');
    for (const auto& [position, text] : fields) data.replace(position, text.size() + 1, text + std::string(1, end));
    return data;
}

std::string person(std::map<std::size_t, std::string> fields, char end = '\0') {
    fields.emplace(0, "00042");
    return record(kPersonLength, fields, end);
}

class VisibilityTest : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override {
        for (const char* name : {"vst/syspar.170", "vst/pers.172"}) table::table_close(name);
        table::table_close(dirs::home_path("oumfil.bes"));
        while (!vars_.empty()) vars_.pop_back();  // newest first: each guard restores what it found
        reset();
    }
    static void reset() {
        config::forget_config_vars();
        dirs::forget_directories();
        lang::forget_language_state();
        forget_filter_state();
    }
    // Sets configuration variables for this test (and forgets remembered values).
    void set(const std::map<std::string, std::string>& values) {
        for (const auto& [name, value] : values) vars_.emplace_back(name.c_str(), value.c_str());
        config::forget_config_vars();
    }
    static int judge(const std::string& r) { return personnel_filter(r.data(), r.size()); }

    test::TempDir root_;
    test::EnvGuard registry_{"VELMORA_REGISTRY", "/nonexistent/registry.reg"};
    test::EnvGuard base_{"QXBASE", root_.str().c_str()};
    test::EnvGuard home_{"HOME", root_.str().c_str()};
    std::deque<test::EnvGuard> vars_;
};

TEST_F(VisibilityTest, BitmapGrowsWhenThePersonCountGrows) {
    // The bitmap is made while the system parameters are not loaded (N = 0): one byte.
    root_.write("vst/plst0001.bes", "1\n900\n");
    root_.write("vst/plst0002.bes", "900\n1001\n");
    set({{"QX_PLIST", "1"}});
    EXPECT_EQ(judge(person({{0, "00001"}})), -4);  // N = 0: nobody is on any list
    root_.write("vst/syspar.170", record(lang::kSysparLength, {{0, "1"}, {144, "1"}, {916, "01001"}, {954, "DEMO"}}));
    table::table_close("vst/syspar.170");
    lang::forget_language_state();
    lang::default_language();  // now N = 1001; the bitmap stays
    EXPECT_EQ(judge(person({{0, "00900"}})), -4);  // list 1 stays loaded as it was: past its one byte too
    EXPECT_EQ(judge(person({{0, "00001"}})), -4);  // its bits were cleared for N = 0, set for none
    EXPECT_EQ(judge(person({{0, "00009"}})), -4);  // the first person past its one byte
    set({{"QX_PLIST", "2"}});
    const std::string probe = root_.write("probe", "");
    const int free_handle = platform::file_open(probe.c_str(), platform::FileAccess::ReadWrite, 0);
    platform::file_close(free_handle);
    EXPECT_EQ(judge(person({{0, "00900"}})), 1);  // filled for 1001 persons without writing past it
    EXPECT_EQ(platform::file_open(probe.c_str(), platform::FileAccess::ReadWrite, 0), free_handle);  // list closed
    platform::file_close(free_handle);
    EXPECT_EQ(judge(person({{0, "01001"}})), 1);
    set({{"QX_PLIST", "1"}});  // loaded again: every bit of list 2 is cleared, up to the byte of N
    EXPECT_EQ(judge(person({{0, "01001"}})), -4);
}

TEST_F(VisibilityTest, ShortRecordsAndFieldsWithoutTerminators) {
    set({{"QX_AFD", "10"}, {"QX_ORGUN", "U1"}});
    std::string unterminated(kPersonLength, '7');  // no terminator anywhere
    EXPECT_EQ(judge(unterminated), -4);
    const std::string tiny = "00042";
    EXPECT_EQ(personnel_filter(tiny.data(), tiny.size()), -4);  // fields past the end are empty
    EXPECT_EQ(personnel_filter(tiny.data(), 0), -4);
}

// Fields ending in "~" are copied into a buffer of 512 bytes while their text and its
// terminator fit, else kept apart; every copy stays valid while later fields are read.
TEST(FieldsTest, CopiesFillTheBufferToItsLastByteThenGoElsewhere) {
    const std::string record = std::string(400, 'a') + "~" + std::string(111, 'b') + "~ccccc~";
    const Fields f(record.data(), record.size());
    const char* const read[] = {f.at(0), f.at(401), f.at(513)};  // 401 bytes used; 111 and its end do not fit
    EXPECT_EQ(std::string(read[0]) + "|" + read[1] + "|" + read[2],
              std::string(400, 'a') + "|" + std::string(111, 'b') + "|ccccc");
}

TEST_F(VisibilityTest, AnAdmittedPersonIsOneInEitherMode) {
    set({{"QX_AFD", "10"}});
    EXPECT_EQ(judge(person({{47, "10"}})), 1);
    set({{"QX_AND", "1"}});
    EXPECT_EQ(judge(person({{47, "10"}})), 1);
}

// read_record applies the rules, by the file read: hard links read first (the file known
// by their names only) and spellings only a DOS-like system takes. (Other spellings:
// tests/tools/scan_golden.sh; one slot for one file: tests/fuzz/fuzz_file_table.cpp.)
TEST_F(VisibilityTest, ReadRecordAppliesTheRulesWhateverTheSpelling) {
    const std::string file = person({{0, "00001"}, {47, "10"}}, '~') + person({{0, "00002"}, {47, "20"}}, '~');
    const std::string root = root_.str(), pers = root_.write("vst/pers.172", file);
    set({{"QX_AFD", "10"}});
    const test::TempDir elsewhere;
    std::filesystem::create_hard_link(pers, root + "/vst/hard.172");
    std::filesystem::create_hard_link(pers, elsewhere.str() + "/outside.172");
    std::vector<std::string> spellings = {"vst/hard.172", elsewhere.str() + "/outside.172", root + "//vst/../vst/pers.172"};
    if (platform::paths_are_dos_like()) {
        std::string backslashed = root + "\\VST\\Pers.172";
        for (char& c : backslashed) c = c == '/' ? '\\' : c;
        spellings.insert(spellings.end(), {"VST\\PERS.172", "Vst/Pers.172", backslashed});
    }
    std::string buffer(kPersonLength, ' ');
    for (const std::string& name : spellings) {
        EXPECT_EQ(records::read_record(name.c_str(), 1, kPersonLength, buffer.data()), 0) << name;
        EXPECT_EQ(records::read_record(name.c_str(), 2, kPersonLength, buffer.data()), -4) << name;
    }
    table::table_close("vst\\pers.172");  // closes it under every name
    // The rules a reader worked out for a handle go with the file: a file without rules
    // opened next under the same descriptor, and the personnel file after it again.
    root_.write("vst/other.172", file);
    EXPECT_EQ(records::read_record("vst/other.172", 2, kPersonLength, buffer.data()), 0);
    table::table_close("vst/other.172");
    EXPECT_EQ(records::read_record("vst/pers.172", 2, kPersonLength, buffer.data()), -4);
}

// QX_MA is read at every read_record; a scan reads it once, when it is made.
TEST_F(VisibilityTest, AScanJudgesAsTheEnvironmentStoodAtItsStart) {
    root_.write("vst/pers.172", person({{0, "00001"}, {343, "user3"}}, '~') + person({{0, "00002"}, {343, "user5"}}, '~'));
    set({{"QX_MA", "user3"}});
    records::RecordScan started("vst/pers.172", kPersonLength);
    EXPECT_EQ(started.next(), records::kReadOk);
    platform::set_env("QX_MA", "user5");
    EXPECT_EQ(started.next(), records::kEmptyOrHidden);
    records::RecordScan later("vst/pers.172", kPersonLength);
    EXPECT_EQ(later.next(), records::kEmptyOrHidden);
    EXPECT_EQ(later.next(), records::kReadOk);
    std::string buffer(kPersonLength, ' ');
    platform::set_env("QX_MA", "user3");
    EXPECT_EQ(records::read_record("vst/pers.172", 1, kPersonLength, buffer.data()), records::kReadOk);
}

}  // namespace
}  // namespace qx::visibility
