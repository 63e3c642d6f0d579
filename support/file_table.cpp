// The open-file table.
#include "support/file_table.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "platform/faults.h"
#include "platform/files.h"
#include "support/data_name.h"
#include "support/language_names.h"
#include "support/path_search.h"
#include "support/text.h"

namespace qx::table {
namespace {

constexpr std::size_t kNameSize = 256;  // mapped names, terminator included

struct Slot {
    int handle = -1;       // the open file, -1 once closed
    char* name = nullptr;  // heap copy of the data-file name; null: the slot is free
    char* file = nullptr;  // heap copy of the file's name (file_identity), or null
    platform::FileId id;   // the open file as the system knows it
    char mode = 'r';       // first character of the mode it was opened in
};

Slot slots[kSlots];

bool is_log_file(const char* name) { return std::strncmp(name, "log/", 4) == 0; }

// A name of the language-dependent tables, whose file depends on the language in force.
bool is_language_table(const char* name) {
    return name[0] == 't' && name[1] == 'a' && name[2] == 'b' && name[3] == '/';
}

void release(Slot& slot) {
    ++detail::generation;
    platform::file_close(slot.handle);
    slot.handle = -1;
    delete[] slot.name;
    slot.name = nullptr;
    delete[] slot.file;
    slot.file = nullptr;
}

// The name as the table stores it: its canonical spelling (support/data_name.h), "tab/"
// names in their language form. False when it
// is longer than a name can be (it is then never cut into another file's name).
bool mapped_name(const char* name, char* out) {
    char canonical[paths::kDataNameSize];
    const char* spelled = paths::canonical_name(name, canonical);  // one slot per file, whatever the spelling
    if (std::strlen(spelled) >= kNameSize) return false;
    if (is_language_table(spelled)) {
        lang::rgetlan_nam(spelled, out, kNameSize);
    } else {
        text::copy_text(out, kNameSize, spelled);
    }
    return true;
}

char* copy_name(const char* name) {
    if (platform::fault_now(platform::Fault::Alloc)) return nullptr;
    const std::size_t size = std::strlen(name) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy != nullptr) std::memcpy(copy, name, size);
    return copy;
}

std::int16_t open_file(char* name, char mode, std::string* opened) {
    const platform::FileAccess access =
        mode == 'a' ? platform::FileAccess::AppendCreate : platform::FileAccess::ReadWrite;
    return paths::ropen(name, access, platform::kFilePermission, opened);
}

// The slot that holds the file `id` open under another name, or -1.
int slot_of_file(const platform::FileId& id) {
    for (int slot = kFrontSlot; slot >= 0; --slot) {
        const Slot& s = slots[slot];
        if (s.name != nullptr && s.handle >= 0 && s.id == id) return slot;
    }
    return -1;
}

}  // namespace

int table_find(const char* name) {
    for (int slot = kFrontSlot; slot >= 0; --slot) {
        if (slots[slot].name != nullptr && std::strcmp(slots[slot].name, name) == 0) return slot;
    }
    return -1;
}

int table_evict() {
    for (int slot = 1; slot <= kNoEvictableSlot; ++slot) {
        if (slots[slot].name != nullptr && !is_log_file(slots[slot].name)) {
            release(slots[slot]);
            return slot;
        }
    }
    return kNoEvictableSlot;
}

std::int16_t table_open(const char* name, const char* mode) {
    if (name == nullptr || name[0] == '\0') return -2;
    // The file read last, asked for again by the name it is stored under (a scan asks
    // for every record): no spelling to work out, nothing to move.
    const Slot& front = slots[kFrontSlot];
    if (front.name != nullptr && front.handle >= 0 && front.mode == (mode != nullptr ? mode[0] : 'r') &&
        text::same_text(front.name, name) && !is_language_table(front.name)) {
        return static_cast<std::int16_t>(front.handle);
    }
    char wanted[kNameSize];
    if (!mapped_name(name, wanted)) return -1;
    const char wanted_mode = mode != nullptr ? mode[0] : 'r';

    int target = -1;
    int match = -1;
    for (int slot = kFrontSlot; slot >= 0; --slot) {
        if (slots[slot].name == nullptr) {
            if (target < 0) target = slot;
        } else if (std::strcmp(slots[slot].name, wanted) == 0) {
            match = slot;
            break;
        }
    }
    if (match >= 0 && slots[match].mode != wanted_mode) {
        release(slots[match]);  // reopened below, in the same slot, in the new mode
        target = match;
    } else if (match >= 0) {  // a named slot always holds an open file
        if (match < kFrontSlot) std::swap(slots[match], slots[match + 1]);  // one step to the front
        return static_cast<std::int16_t>(slots[match < kFrontSlot ? match + 1 : match].handle);
    }
    if (target < 0) target = table_evict();
    if (slots[target].name != nullptr) return -1;  // only "log/" files left: none is orphaned

    std::string opened;
    std::int16_t handle = open_file(wanted, wanted_mode, &opened);
    if (handle < 0) {
        table_evict();
        handle = open_file(wanted, wanted_mode, &opened);
        if (handle < 0) return handle;
    }
    // Another name of a file that is open already (an absolute path, "./vst/...", a
    // link): one file keeps one slot and one descriptor. A file that cannot be told apart
    // from its other names is not opened: it would take a slot and a descriptor of its
    // own under every name.
    platform::FileId id;
    const std::string identity = paths::file_identity(opened.c_str());
    if (identity.empty() || !platform::file_id(handle, &id)) {
        platform::file_close(handle);
        return -1;
    }
    const int same = slot_of_file(id);
    if (same >= 0 && slots[same].mode == wanted_mode) {
        platform::file_close(handle);
        return static_cast<std::int16_t>(slots[same].handle);
    }
    if (same >= 0) {  // open in the other mode: it moves to this one, as under one spelling
        release(slots[same]);
        target = same;
    }
    char* copy = copy_name(wanted);
    char* file = copy_name(identity.c_str());
    if (copy == nullptr || file == nullptr) {
        delete[] copy;
        delete[] file;
        platform::file_close(handle);
        return -9;
    }
    slots[target] = Slot{handle, copy, file, id, wanted_mode};
    ++detail::generation;
    return handle;
}

int table_close(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    char wanted[kNameSize];
    if (!mapped_name(name, wanted)) return 0;
    int slot = table_find(wanted);
    if (slot < 0) {
        // Another name of an open file: the file its search would open tells which.
        for (const std::string& path : paths::candidates(wanted)) {
            platform::FileId id;
            if (!platform::path_file_id(path.c_str(), &id)) continue;
            slot = slot_of_file(id);
            break;
        }
    }
    if (slot >= 0) release(slots[slot]);
    return 0;
}

unsigned detail::generation = 0;

const char* file_of(std::int16_t handle) {
    if (handle < 0) return nullptr;
    for (int slot = kFrontSlot; slot >= 0; --slot) {
        if (slots[slot].name != nullptr && slots[slot].handle == handle) {
            return slots[slot].file != nullptr ? slots[slot].file : slots[slot].name;
        }
    }
    return nullptr;
}

const platform::FileId* file_id_of(std::int16_t handle) {
    if (handle < 0) return nullptr;
    for (int slot = kFrontSlot; slot >= 0; --slot) {
        if (slots[slot].name != nullptr && slots[slot].handle == handle) return &slots[slot].id;
    }
    return nullptr;
}

const char* slot_name(int slot) { return slot >= 0 && slot < kSlots ? slots[slot].name : nullptr; }

int slot_handle(int slot) { return slot >= 0 && slot < kSlots ? slots[slot].handle : -1; }

}  // namespace qx::table
