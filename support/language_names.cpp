// Language-dependent table names.
#include "support/language_names.h"

namespace qx::lang {

const char* rgetlan_nam(const char* name) { return name; }

}  // namespace qx::lang
