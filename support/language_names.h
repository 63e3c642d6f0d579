// Language-dependent table names: a table name beginning "tab/" is mapped to the form of
// the user's language. Owns the language state (none yet: see rgetlan_nam).
#pragma once

namespace qx::lang {

// The language form of table name `name`. The language table is not read by this build
// yet, so every name maps to itself.
const char* rgetlan_nam(const char* name);

}  // namespace qx::lang
