// Configuration variables: environment variables read through one lookup. 35 names
// ("QX_AFD", "QX_LANGUAGE", ...) are read once and remembered for the rest of the run,
// absence included; every other name is read afresh at each call. Owns the 35 slots.
#pragma once

namespace qx::config {

// The value of environment variable `name`, never null: empty text when it is absent
// (or `name` is null). For a cached name, the value (or absence) seen at its first
// lookup, the same text at every call. The text is read-only and lives for the run (a
// value that is not cached lives until the environment changes).
const char* get_config_var(const char* name);

// True when the variable's value (through get_config_var) is not empty.
bool is_config_var_set(const char* name);

// The remembered slot of `name`: from 0 to 34, or -1 when it is not a cached name.
int config_slot(const char* name);

// get_config_var(name) for a `name` whose config_slot is `slot`, without looking the
// name up again: for callers that ask for the same names for every record.
const char* get_config_var_in(int slot, const char* name);

// Forgets every remembered value, as at the start of a run. For tests, which run many
// cases in one process.
void forget_config_vars();

// A number that changes whenever forget_config_vars runs: a remembered value a caller
// keeps is valid while this number stays the same.
namespace detail {
extern unsigned generation;  // counts forget_config_vars calls
}  // namespace detail
inline unsigned config_generation() { return detail::generation; }

}  // namespace qx::config
