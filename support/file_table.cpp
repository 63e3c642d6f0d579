// The open-file table.
#include "support/file_table.h"

#include <cstring>
#include <new>
#include <utility>

#include "platform/files.h"
#include "support/language_names.h"
#include "support/path_search.h"
#include "support/text.h"

namespace qx::table {
namespace {

constexpr std::size_t kNameSize = 256;  // mapped names, terminator included

struct Slot {
    int handle = -1;       // the open file, -1 once closed
    char* name = nullptr;  // heap copy of the data-file name; null: the slot is free
    char mode = 'r';       // first character of the mode it was opened in
};

Slot slots[kSlots];

bool is_log_file(const char* name) { return std::strncmp(name, "log/", 4) == 0; }

void release(Slot& slot) {
    platform::file_close(slot.handle);
    slot.handle = -1;
    delete[] slot.name;
    slot.name = nullptr;
}

// The name as the table stores it: "tab/" names in their language form. False when it
// is longer than a name can be (it is then never cut into another file's name).
bool mapped_name(const char* name, char* out) {
    if (std::strlen(name) >= kNameSize) return false;
    if (std::strncmp(name, "tab/", 4) == 0) {
        lang::rgetlan_nam(name, out, kNameSize);
    } else {
        text::copy_text(out, kNameSize, name);
    }
    return true;
}

char* copy_name(const char* name) {
    const std::size_t size = std::strlen(name) + 1;
    char* copy = new (std::nothrow) char[size];
    if (copy != nullptr) std::memcpy(copy, name, size);
    return copy;
}

std::int16_t open_file(char* name, char mode) {
    const platform::FileAccess access =
        mode == 'a' ? platform::FileAccess::AppendCreate : platform::FileAccess::ReadWrite;
    return paths::ropen(name, access, platform::kFilePermission);
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
    } else if (match >= 0 && slots[match].handle < 0) {
        delete[] slots[match].name;
        slots[match].name = nullptr;
    } else if (match >= 0) {
        if (match < kFrontSlot) std::swap(slots[match], slots[match + 1]);  // one step to the front
        return static_cast<std::int16_t>(slots[match < kFrontSlot ? match + 1 : match].handle);
    }
    if (target < 0) target = table_evict();
    if (slots[target].name != nullptr) return -1;  // only "log/" files left: none is orphaned

    std::int16_t handle = open_file(wanted, wanted_mode);
    if (handle < 0) {
        table_evict();
        handle = open_file(wanted, wanted_mode);
        if (handle < 0) return handle;
    }
    char* copy = copy_name(wanted);
    if (copy == nullptr) {
        platform::file_close(handle);
        return -9;
    }
    slots[target] = Slot{handle, copy, wanted_mode};
    return handle;
}

int table_close(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    char wanted[kNameSize];
    if (!mapped_name(name, wanted)) return 0;
    const int slot = table_find(wanted);
    if (slot >= 0) release(slots[slot]);
    return 0;
}

const char* slot_name(int slot) { return slot >= 0 && slot < kSlots ? slots[slot].name : nullptr; }

int slot_handle(int slot) { return slot >= 0 && slot < kSlots ? slots[slot].handle : -1; }

}  // namespace qx::table
