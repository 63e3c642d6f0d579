// The personnel record filter: whether a record of "vst/pers.172" is visible to a user
// restricted by QX_* configuration variables. OR mode (default): visible when one
// configured criterion matches; AND mode (QX_AND set): every configured criterion must
// match. A person on the QX_PLIST list is visible either way; the QX_DATP date limit and
// the QX_CUSTOMFLAG rule apply last. Owns the person list bitmap, the number of the
// list loaded, and the 180-byte `oumfil` buffer.
//
// Records are read as their `length` bytes only: a field whose terminator is missing
// ends at the end of the record, and a field beyond it is the empty text.
// The bitmap always covers the personnel numbers it is filled for: when the system
// parameter record's `aantpers` has grown since it was made, it grows with it.
// QX_PLIST above 32767 names no list that can exist: nobody is on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qx::visibility {

inline constexpr int kOumfilLength = 180;

// 1 visible (the person list, a criterion or AND mode admitted the person), 0 visible
// (nothing restricts), -4 hidden.
int personnel_filter(const char* record, std::size_t length);

// 1 when flag[0] of the person's `oumfil` record is "1" (set for everyone when
// `first_entry` is 1), else 0.
int orgunit_flag(const char* record, std::size_t length, std::int16_t first_entry);

// Clears the bitmap for the personnel numbers 1 to N (`aantpers`) and sets the bits of
// the numbers listed in "vst/plst%04d.bes" for `list`.
std::vector<std::uint8_t>& load_person_list(std::vector<std::uint8_t>& bitmap, std::int16_t list);

// 1 when personnel number `person` is in the loaded list (or when no list is in force),
// else 0.
int person_in_list(const std::vector<std::uint8_t>& bitmap, long person, std::int16_t list);

// Forgets the bitmap, the loaded list and the oumfil buffer. For tests.
void forget_filter_state();

}  // namespace qx::visibility
