// Language-dependent table names: a file that exists once per language is stored under
// its base name with the last three characters replaced by the language's suffix
// ("dta/gen.msg" in German is "dta/gen.deu"). The language in force comes from
// QX_LANGUAGE or else from the system parameter record's `landcode`. Mapping a name also
// sets the yes letter. Owns the system parameter record copy, the language table, the
// current language, the remembered language code and the yes letter.
//
// A name shorter than three characters has no suffix to replace and is left unchanged.
#pragma once

#include <cstddef>

namespace qx::lang {

inline constexpr int kSysparLength = 1462;  // record 1 of "vst/syspar.170"
inline constexpr int kTalenLength = 30;     // records 1 to 9 of "tab/taal.tab"
inline constexpr int kLanguages = 9;

// Writes the language form of `name` into `out` (size bytes; at least the name's length
// plus one) and returns `out`. "tab/taal.tab" and "tab/mnucmd.bes" are never mapped and
// leave the yes letter alone; every other name sets it (QX_YES, when present, gives it
// instead; capital letters become small).
char* rgetlan_nam(const char* name, char* out, std::size_t size);

// The installation's language number, 1 to 9, loading the system parameter record when
// it is not loaded yet; a `landcode` outside 1 to 9 is made "1" in the copy.
int default_language();

// The language number whose table record carries `code` (its first three characters),
// or -1; "ned" and blank codes are language 1. `record` (kTalenLength bytes) receives the
// last record read.
int find_language(const char* code, char* record);

// Writes `name` with the suffix of language `number` into `out` and returns the
// language's yes letter. Loads the language table at its first call.
char apply_language(int number, const char* name, char* out, std::size_t size);

// The yes letter in force ('j' until a name is mapped).
char yes_letter();

// The system parameter record copy (kSysparLength bytes), loaded or all zero bytes.
const char* syspar_record();

// Forgets all language state, as at the start of a run. For tests.
void forget_language_state();

}  // namespace qx::lang
