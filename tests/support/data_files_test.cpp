// The open-file table at its edges, fixed-length records (a scan against read_record),
// and language-dependent names and message catalogues where a table cannot reach (files
// that appear while the process runs, names as long as a name can be), on real files in
// temporary installation and home directories. (The path search, languages and
// catalogues otherwise: tests/tools/qxtool_cases.tsv.)
#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/catalogue.h"
#include "support/config.h"
#include "support/file_table.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "visibility/records.h"
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

class DataFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
        root_.write("log/.keep", "");  // append-create makes files, not directories
    }
    void TearDown() override {
        for (int slot = 0; slot < table::kSlots; ++slot) {
            if (const char* name = table::slot_name(slot)) table::table_close(std::string(name).c_str());
        }
        reset();
    }
    static void reset() {
        config::forget_config_vars();
        dirs::forget_directories();
        lang::forget_language_state();
    }
    static std::int16_t open(const std::string& name, const char* mode = "r") {
        return table::table_open(name.c_str(), mode);
    }
    void write_syspar(const char* landcode) {
        root_.write("vst/syspar.170", record(lang::kSysparLength, {{0, "1"}, {144, landcode}}));
    }
    // A scan of `name` gives what read_record gives record by record, to its end.
    void expect_scan_as_read_record(const std::string& name, std::int32_t length) {
        records::RecordScan scan(name.c_str(), length);
        const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
        std::string one(size, '\0');
        for (std::int32_t n = 1;; ++n) {
            const int code = scan.next();
            ASSERT_EQ(code, records::read_record(name.c_str(), n, length, one.data())) << name << " record " << n;
            if (code != records::kReadOk && code != records::kEmptyOrHidden) return;
            ASSERT_EQ(scan.number(), n);
            std::string got(scan.record(), size);
            if (code == records::kEmptyOrHidden) {
                for (std::size_t i = 1; i < size; ++i) got[i] = got[i] == '~' ? '\0' : got[i];
            }
            ASSERT_EQ(got, one) << name << " record " << n;
        }
    }

    test::TempDir root_;
    test::TempDir home_;
    test::EnvGuard registry_{"VELMORA_REGISTRY", "/nonexistent/registry.reg"};
    test::EnvGuard base_{"QXBASE", root_.str().c_str()};
    test::EnvGuard home_var_{"HOME", home_.str().c_str()};
    test::EnvGuard language_{"QX_LANGUAGE", nullptr};
    test::EnvGuard yes_{"QX_YES", nullptr};
};

// Reuse moves an entry one slot up (511 stays 511); another mode or spelling reopens the
// file in its slot; empty, unknown, missing, folder and too long names take no slot.
TEST_F(DataFilesTest, ReuseMovesToTheFrontAndOtherModesReopenInTheSameSlot) {
    root_.write("vst/a.dat", "a");
    root_.write("vst/b.dat", "b");
    const std::int16_t a = open("vst/a.dat");
    ASSERT_GE(a, 0);
    const std::int16_t b = open("vst/b.dat");
    EXPECT_EQ(table::table_find("vst/b.dat"), table::kFrontSlot - 1);
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(open(twice == 0 ? "vst/./b.dat" : "vst/b.dat"), b);  // a spelling finds the slot by its name
        EXPECT_EQ(table::table_find("vst/b.dat"), table::kFrontSlot);
        EXPECT_EQ(table::table_find("vst/a.dat"), table::kFrontSlot - 1);
    }
    EXPECT_EQ(table::table_find("VST/B.DAT"), -1);  // names compare exactly
    ASSERT_GE(open("vst/a.dat", "a"), 0);
    EXPECT_EQ(table::table_find("vst/a.dat"), table::kFrontSlot - 1);
    EXPECT_GE(open("log/new.log", "a"), 0);  // append mode creates the file
    ASSERT_GE(open("./vst/a.dat", "r"), 0);  // the file moves to the new mode, it takes no second slot
    EXPECT_EQ(table::table_open("", "r"), -2);
    EXPECT_EQ(table::table_close("") + table::table_close("vst/never.opened") +
                  table::table_close(std::string(300, 'x').c_str()),
              0);
    for (const std::string& name : std::vector<std::string>{"vst/missing.dat", "vst/a.dat/", "vst/a.dat/.",
                                                             "vst/a.dat//", "vst/./a.dat/./", std::string(300, 'x')}) {
        EXPECT_EQ(open(name), -1) << name;
    }
    EXPECT_EQ(table::table_find("vst/b.dat"), table::kFrontSlot);  // nothing evicted
    EXPECT_EQ(table::slot_name(table::kFrontSlot - 3), nullptr);    // nor a second slot taken
    EXPECT_EQ(table::slot_handle(table::kFrontSlot - 3), -1);
}

// 256 log files then 256 others fill the table from 511 down: the others take 255 to 0.
TEST_F(DataFilesTest, FullTableEvictsFromSlotOneUpButNeverLogFiles) {
    for (int i = 0; i < 512; ++i) {
        const std::string name = (i < 256 ? "log/l" : "vst/f") + std::to_string(i);
        if (i >= 256) root_.write(name, "x");
        ASSERT_GE(open(name, i < 256 ? "a" : "r"), 0) << i;
    }
    EXPECT_STREQ(table::slot_name(1), "vst/f510");
    root_.write("vst/new", "x");
    ASSERT_GE(open("vst/new"), 0);
    EXPECT_STREQ(table::slot_name(1), "vst/new");  // slot 1 was emptied, slot 0 never
    EXPECT_EQ(table::table_find("vst/f510"), -1);
    ASSERT_GE(open("vst/f511"), 0);  // found in slot 0 too: one step to the front, nothing evicted
    EXPECT_STREQ(table::slot_name(1), "vst/f511");
    EXPECT_STREQ(table::slot_name(0), "vst/new");
}

// 511 log files take slots 511 to 1, one more file slot 0: then nothing can be evicted,
// until another file takes slot 256.
TEST_F(DataFilesTest, OnlyLogFilesInSlotsOneTo256RefusesRatherThanOrphaning) {
    for (int i = 0; i < 511; ++i) ASSERT_GE(open("log/l" + std::to_string(i), "a"), 0) << i;
    root_.write("vst/zero", "x");
    ASSERT_GE(open("vst/zero"), 0);
    ASSERT_GE(open("vst/zero", "a"), 0);  // another mode: reopened in the same slot, the last one too
    EXPECT_EQ(table::table_find("vst/zero"), 0);
    const auto zero = static_cast<std::int16_t>(table::slot_handle(0));
    EXPECT_STREQ(table::file_of(zero), "vst/zero");  // slot 0 is searched as any other
    EXPECT_NE(table::file_id_of(zero), nullptr);
    root_.write("vst/one-more", "x");
    EXPECT_EQ(open("vst/one-more"), -1);
    EXPECT_STREQ(table::slot_name(256), "log/l255");  // still open and in the table
    EXPECT_GE(table::slot_handle(256), 0);
    table::table_close("log/l255");
    EXPECT_EQ(table::slot_handle(256), -1);
    EXPECT_EQ(open(root_.str() + "/vst/zero", "a"), zero);  // found in slot 0 by its identity
    root_.write("logs/v", "x");
    ASSERT_GE(open("logs/v"), 0);  // into slot 256, the last one that can be evicted ("logs/" is no "log/")
    EXPECT_GE(open("vst/one-more"), 0);
    EXPECT_STREQ(table::slot_name(256), "vst/one-more");
    table::table_close("vst/zero");
    EXPECT_EQ(table::slot_name(0), nullptr);
}

#if defined(__GLIBC__)
// Opening and closing a file again and again holds on to no memory (nor does working
// out which file it is).
TEST_F(DataFilesTest, OpeningAndClosingHoldsNoMemory) {
    root_.write("vst/a.dat", "a");
    ASSERT_GE(open("vst/a.dat"), 0);  // first-use allocations
    table::table_close("vst/a.dat");
    const std::size_t before = ::mallinfo2().uordblks;
    for (int i = 0; i < 1000; ++i) {
        table::table_open("vst/a.dat", "r");
        table::table_close("vst/a.dat");
    }
    EXPECT_LE(::mallinfo2().uordblks, before + 4096);
}
#endif

// A scan gives what read_record gives, record by record, whatever the length asked for,
// and across blocks. (The codes of single records: tests/tools/qxtool_cases.tsv.)
TEST_F(DataFilesTest, AScanReadsAsReadRecord) {
    root_.write("vst/r.dat", "00001~first~~~~~~~~~~~~~~~~~~~" "00002~second~~~~~~~~~~~~~~~~~~"
                             "0~empty~~~~~~~~~~~~~~~~~~~~~~~" "   ~blank~~~~~~~~~~~~~~~~~~~~~~"
                             "~0003~tilde~~~~~~~~~~~~~~~~~~~" "00006~short");
    for (const std::int32_t length : {30, 29, 31, 1, 0, -30}) expect_scan_as_read_record("vst/r.dat", length);
    expect_scan_as_read_record("vst/none.dat", 30);
    // Records across blocks: one record and one byte over a block, and records longer
    // than a block.
    std::string many;
    for (int n = 1; n <= 2 * (records::kScanBlockBytes / 1000) + 1; ++n) {
        many += std::to_string(n) + "~" + std::string(998 - std::to_string(n).size(), n % 3 == 0 ? '~' : 'x') + "~";
    }
    root_.write("vst/many.dat", many + "9");
    expect_scan_as_read_record("vst/many.dat", 1000);
    expect_scan_as_read_record("vst/many.dat", records::kScanBlockBytes + 1);
}

// A file removed while open reads on (POSIX removes it; Windows refuses while it is open);
// a sparse file: record 200,000,001 of 30 bytes starts at 6,000,000,000.
TEST_F(DataFilesTest, ARemovedOpenFileAndRecordsBeyondFourGigabytes) {
    const std::string gone = root_.write("vst/gone.dat", "00001~kept~");
    char buffer[30];
    ASSERT_EQ(records::read_record("vst/gone.dat", 1, 11, buffer), records::kReadOk);
    std::error_code ignored;
    std::filesystem::remove(gone, ignored);
    ASSERT_EQ(records::read_record("vst/gone.dat", 1, 11, buffer), records::kReadOk);
    EXPECT_STREQ(buffer + 6, "kept");
    std::fstream file(root_.write("vst/big.dat", ""), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(6000000000LL)) << "00077~far~~~~~~~~~~~~~~~~~~~~~" << std::flush;
    ASSERT_TRUE(file.good());
    ASSERT_EQ(records::read_record("vst/big.dat", 200000001, 30, buffer), records::kReadOk);
    EXPECT_STREQ(buffer + 6, "far");
    EXPECT_EQ(records::read_record("vst/big.dat", 1, 30, buffer), records::kEmptyOrHidden);  // a hole reads as zeros
}

TEST_F(DataFilesTest, WithoutSystemParametersLanguageOneAndTheFileIsTriedAgain) {
    root_.write("tab/taal.tab", talen("1", "ned", "J") + talen("2", "deu", "J") + talen("3", "eng", "Y"));
    char out[256];
    EXPECT_STREQ(lang::rgetlan_nam("tab/xyz.tab", out, sizeof out), "tab/xyz.tab");
    write_syspar("3");
    EXPECT_STREQ(lang::rgetlan_nam("tab/xyz.tab", out, sizeof out), "tab/xyz.eng");
}

// A catalogue named with 255 characters is read, one more is not (the tests share one
// process under Wine, and its open files: each is closed).
TEST_F(DataFilesTest, ACatalogueNamedWith255CharactersIsReadOneMoreIsNot) {
    write_syspar("1");
    std::string records;
    for (int i = 1; i <= 10; ++i) records += ("text " + std::to_string(i) + std::string(78, ' ')).substr(0, 78) + (i == 7 ? "12" : " 5");
    char buffer[catalogue::kMessageBufferSize];
    std::string longest = root_.str() + "/dta/";
    longest += std::string(255 - longest.size() - 4, 'n') + ".msg";
    for (const std::string& name : {longest, longest + "g"}) {
        root_.write(name.substr(root_.str().size() + 1), records);
        EXPECT_EQ(catalogue::rtekst(name.c_str(), buffer, 7), name == longest ? 12 : 3) << name.size();
        table::table_close(name.c_str());
    }
    EXPECT_EQ(table::table_open((longest + "g").c_str(), "r"), -1);  // cut to fit, it would open another file
}

}  // namespace
}  // namespace qx
