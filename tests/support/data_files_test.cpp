// The open-file table at its edges and fixed-length records (a scan against read_record),
// on real files in temporary installation and home directories. (The path search:
// tests/tools/qxtool_cases.tsv.)
#include <gtest/gtest.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/file_table.h"
#include "support/install_dirs.h"
#include "visibility/records.h"
#include "support/text.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"

namespace qx {
namespace {

class DataFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dirs::forget_directories();
        root_.write("log/.keep", "");  // append-create makes files, not directories
    }
    void TearDown() override {
        for (const std::string& name : opened_) table::table_close(name.c_str());
        dirs::forget_directories();
    }
    std::int16_t open(const std::string& name, const char* mode = "r") {
        opened_.push_back(name);
        return table::table_open(name.c_str(), mode);
    }

    test::TempDir root_;
    test::TempDir home_;
    test::EnvGuard registry_{"VELMORA_REGISTRY", "/nonexistent/registry.reg"};
    test::EnvGuard base_{"QXBASE", root_.str().c_str()};
    test::EnvGuard home_var_{"HOME", home_.str().c_str()};
    std::vector<std::string> opened_;
};

TEST_F(DataFilesTest, TableReusesAndMovesEntriesToTheFront) {
    root_.write("vst/a.dat", "a");
    root_.write("vst/b.dat", "b");
    const std::int16_t a = open("vst/a.dat");
    ASSERT_GE(a, 0);
    EXPECT_EQ(table::table_find("vst/a.dat"), table::kFrontSlot);
    const std::int16_t b = open("vst/b.dat");
    EXPECT_EQ(table::table_find("vst/b.dat"), table::kFrontSlot - 1);
    EXPECT_EQ(open("vst/b.dat"), b);  // the same handle, one slot up
    EXPECT_EQ(table::table_find("vst/b.dat"), table::kFrontSlot);
    EXPECT_EQ(table::table_find("vst/a.dat"), table::kFrontSlot - 1);
    EXPECT_EQ(open("vst/b.dat"), b);  // slot 511 stays 511
    EXPECT_EQ(table::table_find("vst/b.dat"), table::kFrontSlot);
    EXPECT_EQ(table::table_find("VST/B.DAT"), -1);  // names compare exactly
}

TEST_F(DataFilesTest, AnotherModeReopensInTheSameSlot) {
    root_.write("vst/a.dat", "a");
    ASSERT_GE(open("vst/a.dat"), 0);
    const int slot = table::table_find("vst/a.dat");
    ASSERT_GE(open("vst/a.dat", "a"), 0);
    EXPECT_EQ(table::table_find("vst/a.dat"), slot);
    EXPECT_GE(open("log/new.log", "a"), 0);  // append mode creates the file
    // Under another spelling too: the file moves to the new mode, it takes no second slot.
    ASSERT_GE(open("./vst/a.dat", "r"), 0);
    int slots_of_a = 0;
    for (int s = 0; s < table::kSlots; ++s) {
        const char* name = table::slot_name(s);
        slots_of_a += name != nullptr && std::string(name).find("a.dat") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(slots_of_a, 1);
}

// None of them takes a slot or evicts a file from a half-empty table.
TEST_F(DataFilesTest, EmptyUnknownAndMissingNames) {
    root_.write("vst/keep", "x");
    ASSERT_GE(open("vst/keep"), 0);
    EXPECT_EQ(table::table_open("", "r"), -2);
    EXPECT_EQ(table::table_close(""), 0);
    EXPECT_EQ(table::table_close("vst/never.opened"), 0);
    EXPECT_EQ(open("vst/missing.dat"), -1);
    for (const char* folder : {"vst/keep/", "vst/keep/.", "vst/keep//", "vst/./keep/./"}) EXPECT_EQ(open(folder), -1);
    EXPECT_EQ(open(std::string(300, 'x')), -1);  // longer than a name can be
    EXPECT_EQ(table::table_find("vst/keep"), table::kFrontSlot);
}

TEST_F(DataFilesTest, FullTableEvictsFromSlotOneUpButNeverLogFiles) {
    // 256 log files then 256 others fill the table from 511 down to 0: the log files take
    // slots 511 to 256, the others 255 to 0.
    for (int i = 0; i < 256; ++i) ASSERT_GE(open("log/l" + std::to_string(i), "a"), 0) << i;
    for (int i = 0; i < 256; ++i) {
        root_.write("vst/f" + std::to_string(i), "x");
        ASSERT_GE(open("vst/f" + std::to_string(i)), 0) << i;
    }
    EXPECT_STREQ(table::slot_name(0), "vst/f255");
    EXPECT_STREQ(table::slot_name(1), "vst/f254");
    root_.write("vst/new", "x");
    ASSERT_GE(open("vst/new"), 0);
    EXPECT_STREQ(table::slot_name(1), "vst/new");  // slot 1 was emptied, slot 0 never
    EXPECT_STREQ(table::slot_name(0), "vst/f255");
    EXPECT_EQ(table::table_find("vst/f254"), -1);
    ASSERT_GE(open("vst/f255"), 0);  // found in slot 0 too: one step to the front, nothing evicted
    EXPECT_STREQ(table::slot_name(1), "vst/f255");
    EXPECT_STREQ(table::slot_name(0), "vst/new");
}

TEST_F(DataFilesTest, OnlyLogFilesInSlotsOneTo256RefusesRatherThanOrphaning) {
    // 511 log files take slots 511 to 1; one more file fills slot 0.
    for (int i = 0; i < 511; ++i) ASSERT_GE(open("log/l" + std::to_string(i), "a"), 0) << i;
    root_.write("vst/zero", "x");
    ASSERT_GE(open("vst/zero"), 0);
    EXPECT_EQ(table::table_find("vst/zero"), 0);
    ASSERT_GE(open("vst/zero", "a"), 0);  // another mode: reopened in the same slot, the last one too
    EXPECT_EQ(table::table_find("vst/zero"), 0);
    root_.write("vst/one-more", "x");
    EXPECT_EQ(open("vst/one-more"), -1);
    EXPECT_STREQ(table::slot_name(256), "log/l255");  // still open and in the table
    EXPECT_GE(table::slot_handle(256), 0);
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

class RecordTest : public DataFilesTest {
  protected:
    // A scan of `name` gives what read_record gives record by record, to its end.
    void expect_scan_as_read_record(const std::string& name, std::int32_t length) {
        opened_.push_back(name);
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
    // read_record, checked against read_visible_record: the same result, and the same
    // record after 0; after -4 that record unconverted, read_record's converted.
    int read(const std::string& name, std::int32_t n, std::int32_t length, char* buffer) {
        opened_.push_back(name);
        const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
        std::string as_read(size, '\0');
        const int visible = records::read_visible_record(name.c_str(), n, length, as_read.data());
        const int code = records::read_record(name.c_str(), n, length, buffer);
        EXPECT_EQ(visible, code);
        if (code == records::kEmptyOrHidden) {
            for (std::size_t i = 1; i < size; ++i) as_read[i] = as_read[i] == '~' ? '\0' : as_read[i];
        }
        if (code == records::kReadOk || code == records::kEmptyOrHidden) {
            EXPECT_EQ(as_read, std::string(buffer, size));
        }
        return code;
    }
};

// A scan gives what read_record gives, record by record, whatever the length asked for,
// and across blocks. (The codes of single records: tests/tools/qxtool_cases.tsv.)
TEST_F(RecordTest, AScanReadsAsReadRecord) {
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

// The empty-record test is atol's reading of the head (its first 79 bytes, never past the
// record) giving 0, with "~" or an end of text after it.
TEST(HeadTest, ZeroExactlyWhenAtolReadsZero) {
    const std::string heads[] = {"0",   "-0", "+00~7", " \t\n0012", "~12", std::string(30, '0') + "1", "99999999999",
                                 "-99999999999", "+", "-", "", "0x1", std::string(78, ' ') + "1",
                                 std::string(79, ' ') + "1", "1~", std::string(" 0\0" "5", 4)};
    for (const std::string& head : heads) {
        for (const std::int32_t length : {1, 2, 79, 80}) {
            std::string record = head.substr(0, static_cast<std::size_t>(length));
            record.resize(static_cast<std::size_t>(length), '~');
            const std::string atol_reads = record.substr(0, 79);  // read_int stops at its end of text
            EXPECT_EQ(records::head_is_zero(record.data(), length), text::read_int(atol_reads.c_str()) == 0)
                << "'" << head << "' in " << length;
        }
    }
}

TEST_F(RecordTest, RemovingAnOpenFileDoesNotDisturbItsReaders) {
    const std::string path = root_.write("vst/gone.dat", "00001~kept~");
    char buffer[11];
    ASSERT_EQ(read("vst/gone.dat", 1, 11, buffer), records::kReadOk);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);  // POSIX removes it; Windows refuses while it is open
    ASSERT_EQ(read("vst/gone.dat", 1, 11, buffer), records::kReadOk);  // the open handle still reads
    EXPECT_STREQ(buffer + 6, "kept");
}

TEST_F(RecordTest, BeyondTheTwoAndFourGigabyteMarks) {
    // A sparse file: record 200,000,001 of 30 bytes starts at 6,000,000,000.
    const std::string path = root_.write("vst/big.dat", "");
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(6000000000LL));
        file << "00077~far~~~~~~~~~~~~~~~~~~~~~";
        ASSERT_TRUE(file.good());
    }
    char buffer[30];
    ASSERT_EQ(read("vst/big.dat", 200000001, 30, buffer), records::kReadOk);
    EXPECT_STREQ(buffer + 6, "far");
    EXPECT_EQ(read("vst/big.dat", 1, 30, buffer), records::kEmptyOrHidden);  // a hole reads as zeros
}

}  // namespace
}  // namespace qx
