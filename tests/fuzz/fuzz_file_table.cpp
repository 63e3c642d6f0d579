// The open-file table under any sequence of opens, closes, evictions and record reads,
// by any spelling of a few files, with failures injected where the fuzzer says: never a
// fault, one slot for one file whatever the spelling, a close by any spelling closes it,
// and no descriptor outlives the table's slots.
#include <filesystem>
#include <iterator>
#include <set>

#include "platform/faults.h"
#include "support/file_table.h"
#include "tests/fuzz/fuzz_support.h"
#include "visibility/records.h"

namespace {

using qx::fuzz::check;
namespace table = qx::table;
std::string names[12];

long open_descriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
}

// The slots in use; checks that every file the table holds is held once.
long used_slots() {
    std::set<std::string> files;
    long count = 0;
    for (int slot = 0; slot < table::kSlots; ++slot) {
        if (table::slot_name(slot) == nullptr) continue;
        ++count;
        const char* file = table::file_of(static_cast<std::int16_t>(table::slot_handle(slot)));
        check(table::slot_handle(slot) < 0 || (file != nullptr && files.insert(file).second));
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qx::fuzz::use_installation_copy("qx-fuzz-file-table");
    const std::string spellings[] = {"vst/sample.166", "vst\\sample.166", "vst//./sample.166",
                                     qx::fuzz::root + "/vst/sample.166", "vst/pers.172", "./vst/pers.172",
                                     "vst/klok.166", "tab/hulp.tab", "log/fuzz.log", "vst/missing.1",
                                     std::string(300, 'n'), ""};
    for (std::size_t i = 0; i < std::size(names); ++i) names[i] = spellings[i];
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qx::platform::Fault;
    const long descriptors_before = open_descriptors(), slots_before = used_slots();
    char record[1430];
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char* name = names[data[i + 1] % std::size(names)].c_str();
        switch (data[i] % 8) {
            case 0: table::table_open(name, "r"); break;
            case 1: table::table_open(name, "a"); break;
            case 2:
                table::table_close(name);
                check(name[0] == '\0' || table::table_find(name) < 0);
                break;
            case 3: table::table_evict(); break;
            case 4: qx::records::read_record(name, data[i + 1] % 5, 166, record); break;
            case 5: {  // a later call of a kind fails: an open, a read, a close or a name copy
                constexpr Fault kKinds[] = {Fault::Open, Fault::Read, Fault::Close, Fault::Alloc};
                qx::platform::fault_arm(kKinds[data[i + 1] % 4], 1 + data[i + 1] / 64, false);
                break;
            }
            case 6: qx::platform::fault_disarm(); break;
            default: used_slots(); break;
        }
    }
    qx::platform::fault_disarm();
    // Every descriptor opened belongs to a slot; a close by any spelling empties it.
    check(open_descriptors() - descriptors_before <= used_slots() - slots_before);
    for (const std::string& name : names) {
        table::table_close(name.c_str());
        check(name.empty() || table::table_find(name.c_str()) < 0);
    }
    check(open_descriptors() - descriptors_before <= used_slots() - slots_before);
    return 0;
}
