// The rules' variables, by number.
#include "visibility/rule_vars.h"

#include <cstddef>

#include "platform/env.h"
#include "support/config.h"

namespace qx::visibility {
namespace {

constexpr auto kCount = static_cast<std::size_t>(RuleVar::Count);
constexpr const char* kNames[kCount] = {
    "QX_ABRKREIS",
    "QX_AFD",
    "QX_AFD_PP",
    "QX_AND",
    "QX_CUSTOMFLAG",
    "QX_DATP",
    "QX_FUN",
    "QX_KLKGROUP",
    "QX_MA",
    "QX_MA1",
    "QX_MA_GRP",
    "QX_MA_KREIS",
    "QX_ORGBADNUM",
    "QX_ORGUN",
    "QX_PEE",
    "QX_PEE_PP",
    "QX_PERS_BEREICH",
    "QX_PERS_TB",
    "QX_PLIST",
    "QX_SALNUM",
    "QX_TEAM",
    "QX_UITZ",
    "QX_WPLEK",
};

constexpr int kUnresolved = -2;
int slots[kCount] = {};           // config_slot of each name, kUnresolved before its first use
platform::EnvPlace places[kCount];  // where a name that is not remembered was found last
bool started = false;             // slots filled with kUnresolved

}  // namespace

// A remembered name's value once looked up, else null.
const char* detail::kept_values[kCount] = {};
unsigned detail::kept_generation = 0;

void detail::forget_kept() {
    for (const char*& value : kept_values) value = nullptr;
    kept_generation = config::config_generation();
}

const char* detail::look_up(RuleVar variable) {
    const auto i = static_cast<std::size_t>(variable);
    if (!started) {
        for (int& slot : slots) slot = kUnresolved;
        started = true;
    }
    if (slots[i] == kUnresolved) slots[i] = config::config_slot(kNames[i]);
    if (slots[i] >= 0) return kept_values[i] = config::get_config_var_in(slots[i], kNames[i]);
    // Not remembered: read as get_config_var reads it, from the environment, but looked
    // for again only when the environment may have changed.
    const char* value = platform::env_get(kNames[i], &places[i]);
    return value != nullptr ? value : "";
}

}  // namespace qx::visibility
