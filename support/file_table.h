// The open-file table: 512 slots mapping a data-file name to the handle of the open file
// and the mode it was opened in, so a data file is opened once and read many times.
// Slot 511 is the front: look-ups start there, new files take the highest free slot,
// every reuse moves an entry one slot up, and eviction takes from slots 1 to 256 ("log/"
// files never). Owns the table and the name copies.
//
// When the table is full and no slot from 1 to 256 can be evicted, the new file goes to
// slot 256 only if that slot is free; when it holds an open "log/" file the open is
// refused (-1) rather than orphaning that file. The handle opened before a failed name
// copy (-9) is closed. Names longer than 255 characters are never opened (-1).
//
// Names are keyed by their canonical spelling (support/data_name.h), and a file opened
// under a name that only the system can tell apart (an absolute path into the
// installation, a symbolic or hard link) is found by its identity (platform::FileId)
// among the open files: one file, one slot and one descriptor, whatever the name; a
// close by any name closes it.
// Asked for in the other mode under another spelling, the file moves to that mode in its
// slot, as it does under one spelling.
#pragma once

#include <cstdint>

#include "platform/files.h"

namespace qx::table {

inline constexpr int kSlots = 512;
inline constexpr int kFrontSlot = kSlots - 1;
inline constexpr int kNoEvictableSlot = 256;  // what table_evict reports when it empties nothing

// Opens data-file `name` (names beginning "tab/" mapped to their language form first)
// with `mode` ('a' first: append-create, anything else: read-write), or returns the
// handle already open in that mode. Returns the handle (>= 0), -1 (cannot be opened),
// -2 (empty name), -9 (no memory for the name copy).
std::int16_t table_open(const char* name, const char* mode);

// Closes the file open under `name` (mapped as table_open does), if any. Always 0.
int table_close(const char* name);

// The slot holding `name` exactly, searched from 511 down, or -1.
int table_find(const char* name);

// Empties the lowest slot from 1 to 256 that is in use and not a "log/" file and returns
// its number; kNoEvictableSlot when there is none.
int table_evict();

// Which file `handle` (a handle of this table) is: its name below the installation root
// ("vst/pers.172", however the caller spelt it), else its full path, else the name it
// was opened under; null for a handle the table does not hold. Valid while the file
// stays open. The visibility rules choose by it, so no spelling escapes them.
const char* file_of(std::int16_t handle);

// Which file `handle` (a handle of this table) is, as the system knows it; null for a
// handle the table does not hold. Valid while the file stays open.
const platform::FileId* file_id_of(std::int16_t handle);

namespace detail {
extern unsigned generation;
}  // namespace detail

// A number that changes whenever a slot is filled or emptied: what file_of(handle) gave
// holds while it stays the same.
inline unsigned table_generation() { return detail::generation; }

// What slot `slot` holds: its name (null when free) and handle. For tests and tools.
const char* slot_name(int slot);
int slot_handle(int slot);

}  // namespace qx::table
