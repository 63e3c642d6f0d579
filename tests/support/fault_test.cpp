// Every failure the platform can give, at every call a scenario makes: the catalogues,
// the language table, a restricted scan, the registry and a record of a file read by two
// spellings, with the Nth open, read, seek, close, allocation, look at a file or
// registry read failing. After each: the result is the scenario's own or a
// failure (never its success code with other data), no descriptor or table slot is
// left behind (nor by the run without failures), and the next run with the switch off
// succeeds.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/faults.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "support/catalogue.h"
#include "support/config.h"
#include "support/file_table.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "visibility/records.h"
#include "tests/env_guard.h"
#include "tests/temp_dir.h"
#include "visibility/personnel_filter.h"

namespace qx {
namespace {

using platform::Fault;

// A scenario: its name, and what runs it and gives its result (a code, then the data).
using Scenario = std::pair<const char*, std::function<std::string()>>;

// Open descriptors of the process where the system can tell (Linux), else 0. Not under
// Windows: there "/proc/self/fd" is Wine's own, whose descriptors come and go.
std::ptrdiff_t open_descriptors() {
    std::error_code error;
    std::filesystem::directory_iterator fds("/proc/self/fd", error);
    return platform::paths_are_dos_like() || error ? 0 : std::distance(fds, std::filesystem::directory_iterator());
}

long used_slots() {
    long count = 0;
    for (int slot = 0; slot < table::kSlots; ++slot) count += table::slot_name(slot) != nullptr ? 1 : 0;
    return count;
}

// Closes every file of the table and forgets what was read from files and the
// environment, as at the start.
void start_afresh() {
    for (int slot = 0; slot < table::kSlots; ++slot) {
        if (const char* name = table::slot_name(slot)) table::table_close(std::string(name).c_str());
    }
    lang::forget_language_state();
    visibility::forget_filter_state();
    config::forget_config_vars();
    dirs::forget_directories();
}

std::string code_and(int code, const std::string& data) { return std::to_string(code) + " " + data + "\n"; }

// True unless a line of `got` has the code of the same line of `good` but other data
// (success with partial data), or shows a record that `good` hides (a failure must never
// lift the visibility rules).
bool no_partial_success(const std::string& got, const std::string& good) {
    std::istringstream a(got), b(good);
    std::string line, good_line;
    while (std::getline(b, good_line)) {
        if (!std::getline(a, line)) return false;
        const std::string code = line.substr(0, line.find(' ')), good_code = good_line.substr(0, good_line.find(' '));
        const bool lifted = good_code == std::to_string(records::kEmptyOrHidden) && code == std::to_string(records::kReadOk);
        if ((code == good_code && line != good_line) || lifted) return false;
    }
    return !std::getline(a, line);
}

TEST(FaultTest, EveryFailingCallEndsInAFailureAndLeavesNothingBehind) {
    const test::EnvGuard registry_var{"VELMORA_REGISTRY", "/nonexistent/registry.reg"};
    const test::EnvGuard base_var{"QXBASE", QX_SOURCE_DIR "/examples/installation"};
    const test::EnvGuard home_var{"HOME", QX_SOURCE_DIR "/examples/installation/home"};
    const test::EnvGuard language_var{"QX_LANGUAGE", nullptr};
    const test::EnvGuard department_var{"QX_AFD", "10"};
    const Scenario scenarios[] = {
        {"catalogue",
         [] {
             char text[catalogue::kMessageBufferSize] = {};
             const int code = catalogue::rtekst("dta/gen.msg", text, 104);
             char line[catalogue::kMessageBufferSize] = {};
             const std::string help = code_and(catalogue::rtekst("tab/hulp", line, 2), line);
             return code_and(code, text) + help + code_and(catalogue::rtekst("tab", line, 1), line);  // a folder
         }},
        {"language table", [] { return code_and(lang::default_language(), std::string(1, lang::yes_letter())); }},
        {"restricted scan",
         [] {
             std::string out;
             std::string record(1430, '\0');
             for (int n = 1; n <= 12; ++n) {
                 const int code = records::read_record("vst/pers.172", n, 1430, record.data());
                 out += code_and(code, code == 0 ? record.substr(0, 60) : "");
             }
             return out;
         }},
        {"registry",
         [] {
             const test::TempDir dir;
             const test::EnvGuard file("VELMORA_REGISTRY",
                                       dir.write("r.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Velmora]\r\n"
                                                          "\"qxbase\"=\"/from/registry\"\r\n").c_str());
             const test::EnvGuard base("QXBASE", nullptr);
             dirs::forget_directories();
             const std::string root = dirs::rgetbase();
             dirs::forget_directories();
             return code_and(root == "/from/registry" ? 0 : -1, root + platform::registry_problem());
         }},
        {"spellings of one file",
         [] {
             std::string record(60, '\0');
             std::string out = code_and(records::read_record("vst/sample.166", 3, 60, record.data()), record);
             const std::string absolute = QX_SOURCE_DIR "/examples/installation/./vst/sample.166";
             out += code_and(records::read_record(absolute.c_str(), 3, 60, record.data()), record);
             const int closed = table::table_close("vst\\sample.166");
             return out + code_and(closed, std::to_string(used_slots()));
         }},
    };
    const Fault kinds[] = {Fault::Open, Fault::Read, Fault::Seek, Fault::Close, Fault::Alloc, Fault::Stat,
                           Fault::Registry};
    long points = 0;
    for (const auto& [name, run] : scenarios) {
        start_afresh();
        const auto descriptors = open_descriptors();
        const std::string good = run();
        start_afresh();
        EXPECT_EQ(open_descriptors(), descriptors) << name;
        for (Fault kind : kinds) {
            start_afresh();
            platform::fault_arm(kind, LONG_MAX, false);  // counts the calls, fails none
            run();
            for (long n = 1, calls = platform::fault_calls(kind); n <= calls; ++n, ++points) {
                start_afresh();
                platform::fault_arm(kind, n, false);
                const std::string got = run();
                platform::fault_disarm();
                start_afresh();
                const std::string where = std::string(name) + ", call " + std::to_string(n) + " of kind " +
                                          std::to_string(static_cast<int>(kind));
                EXPECT_TRUE(no_partial_success(got, good)) << where << ": " << got;
                EXPECT_EQ(used_slots(), 0) << where;
                EXPECT_EQ(open_descriptors(), descriptors) << where;
                EXPECT_EQ(run(), good) << where << ": the next run";
            }
            platform::fault_disarm();
        }
    }
    start_afresh();
    ::testing::Test::RecordProperty("injection_points", static_cast<int>(points));
    EXPECT_GT(points, 20);
}

}  // namespace
}  // namespace qx
