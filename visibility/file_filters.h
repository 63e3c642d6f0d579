// The visibility checks that end every successful record read (visibility/records.h),
// selected by the data-file read: the personnel filter for "vst/pers.172", and simple
// filters for the clock, access-group, shift-group, department, workplace and team
// master files, each chosen by the beginning of the name ("vst/pers.172" also selects
// longer names that begin with it). No state of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::records {

// The checks of data-file `name` on `record` (`length` bytes, converted or as stored:
// the verdict is the same): 0 accepts the record, kEmptyOrHidden rejects it. Records of
// data-files no rule selects are accepted.
int visibility_checks(const char* name, char* record, std::size_t length);

// The same in two steps, for readers of many records of one file: which rules apply to
// the records of data-file `name` (the same number for every spelling of one file), and
// the checks of those rules.
inline constexpr int kNoVisibilityRules = 0;  // what visibility_rules_of gives a file without rules
int visibility_rules_of(const char* name);
int visibility_checks_with(int rules, char* record, std::size_t length);

// Which rules apply to the open file `handle` of the open-file table because it is one
// of the files the rules name under another name (a hard link): compared by the
// system's identity of the files, not by name. kNoVisibilityRules when it is none.
int visibility_rules_of_handle(std::int16_t handle);

}  // namespace qx::records
