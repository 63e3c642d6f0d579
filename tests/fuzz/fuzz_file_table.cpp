// The open-file table under any sequence of opens, closes, evictions and record reads,
// by any spelling of a few files, with failures injected where the fuzzer says: never a
// fault, one slot for one file whatever the spelling, a close by any spelling closes it,
// and no descriptor outlives the table's slots.
#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "platform/env.h"
#include "platform/faults.h"
#include "support/file_table.h"
#include "visibility/records.h"

namespace {

std::string root;  // a copy of the sample installation of the run's own
std::string names[12];

void remove_root() { std::system(("rm -rf '" + root + "'").c_str()); }

void check(bool ok) {
    if (!ok) std::abort();
}

int open_descriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

int used_slots() {
    int count = 0;
    for (int slot = 0; slot < qx::table::kSlots; ++slot) count += qx::table::slot_name(slot) != nullptr ? 1 : 0;
    return count;
}

// Every file the table holds is held once.
void check_one_slot_per_file() {
    std::set<std::string> files;
    for (int slot = 0; slot < qx::table::kSlots; ++slot) {
        if (qx::table::slot_name(slot) == nullptr || qx::table::slot_handle(slot) < 0) continue;
        const char* file = qx::table::file_of(static_cast<std::int16_t>(qx::table::slot_handle(slot)));
        check(file != nullptr && files.insert(file).second);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char dir[] = "/tmp/qx-fuzz-file-table-XXXXXX";
    if (mkdtemp(dir) == nullptr) std::abort();
    root = dir;
    if (std::system(("cp -r '" QX_SOURCE_DIR "/examples/installation/.' '" + root + "'").c_str()) != 0) std::abort();
    std::atexit(remove_root);
    qx::platform::set_env("QXBASE", root.c_str());
    qx::platform::set_env("HOME", (root + "/home").c_str());
    qx::platform::set_env("VELMORA_REGISTRY", "/nonexistent/registry.reg");
    const std::string spellings[] = {"vst/sample.166", "vst\\sample.166", "vst//./sample.166",
                                     root + "/vst/sample.166", "vst/pers.172", "./vst/pers.172",
                                     "vst/klok.166", "tab/hulp.tab", "log/fuzz.log", "vst/missing.1",
                                     std::string(300, 'n'), ""};
    for (std::size_t i = 0; i < std::size(names); ++i) names[i] = spellings[i];
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int descriptors_before = open_descriptors();
    const int slots_before = used_slots();
    char record[1430];
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char* name = names[data[i + 1] % std::size(names)].c_str();
        switch (data[i] % 8) {
            case 0: qx::table::table_open(name, "r"); break;
            case 1: qx::table::table_open(name, "a"); break;
            case 2:
                qx::table::table_close(name);
                check(name[0] == '\0' || qx::table::table_find(name) < 0);
                break;
            case 3: qx::table::table_evict(); break;
            case 4: qx::records::read_record(name, data[i + 1] % 5, 166, record); break;
            case 5: {  // a later call of a kind fails: an open, a read, a close or a name copy
                constexpr qx::platform::Fault kKinds[] = {qx::platform::Fault::Open, qx::platform::Fault::Read,
                                                          qx::platform::Fault::Close, qx::platform::Fault::Alloc};
                qx::platform::fault_arm(kKinds[data[i + 1] % 4], 1 + data[i + 1] / 64, false);
                break;
            }
            case 6: qx::platform::fault_disarm(); break;
            default: check_one_slot_per_file(); break;
        }
    }
    qx::platform::fault_disarm();
    check_one_slot_per_file();
    // Every descriptor opened belongs to a slot; a close by any spelling empties it.
    check(open_descriptors() - descriptors_before <= used_slots() - slots_before);
    for (const std::string& name : names) {
        qx::table::table_close(name.c_str());
        check(name.empty() || qx::table::table_find(name.c_str()) < 0);
    }
    check(open_descriptors() - descriptors_before <= used_slots() - slots_before);
    return 0;
}
