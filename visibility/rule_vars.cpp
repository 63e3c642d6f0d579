// The rules' variables, by number.
#include "visibility/rule_vars.h"

#include <cstddef>
#include <cstdlib>

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
bool started = false;             // slots filled with kUnresolved
std::size_t fresh[kCount];        // the variables of fresh_count values kept for this record

}  // namespace

// A remembered name's value once looked up, else null.
const char* detail::kept_values[kCount] = {};
unsigned detail::kept_generation = 0;
int detail::fresh_count = 0;

void detail::forget_kept() {
    for (const char*& value : kept_values) value = nullptr;
    kept_generation = config::config_generation();
    fresh_count = 0;
}

void detail::forget_fresh() {
    for (int k = 0; k < fresh_count; ++k) kept_values[fresh[k]] = nullptr;
    fresh_count = 0;
}

const char* detail::look_up(RuleVar variable) {
    const auto i = static_cast<std::size_t>(variable);
    if (!started) {
        for (int& slot : slots) slot = kUnresolved;
        started = true;
    }
    if (slots[i] == kUnresolved) slots[i] = config::config_slot(kNames[i]);
    if (slots[i] >= 0) return kept_values[i] = config::get_config_var_in(slots[i], kNames[i]);
    // Not remembered: read as get_config_var reads it, and kept until the next record.
    const char* value = std::getenv(kNames[i]);
    fresh[fresh_count++] = i;
    return kept_values[i] = value != nullptr ? value : "";
}

}  // namespace qx::visibility
