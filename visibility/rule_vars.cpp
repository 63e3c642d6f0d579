// The rules' variables, by number.
#include "visibility/rule_vars.h"

#include <cstddef>
#include <cstdlib>
#include <string>

#include "support/config.h"
#include "visibility/file_filters.h"

namespace qx::visibility {
namespace {
constexpr auto kCount = static_cast<std::size_t>(RuleVar::Count);
}  // namespace
}  // namespace qx::visibility

// The values of the names that are not remembered, as taken for a scan.
struct qx::records::VisibilityValues {
    std::string text[qx::visibility::kCount];  // empty for a remembered name
};

namespace qx::visibility {
namespace {

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
const records::VisibilityValues* in_use = nullptr;  // values taken for a scan, judged with now

// The config_slot of variable i.
int slot_of(std::size_t i) {
    if (!started) {
        for (int& slot : slots) slot = kUnresolved;
        started = true;
    }
    if (slots[i] == kUnresolved) slots[i] = config::config_slot(kNames[i]);
    return slots[i];
}

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
    if (slot_of(i) >= 0) return kept_values[i] = config::get_config_var_in(slots[i], kNames[i]);
    // Not remembered: read as get_config_var reads it (or as taken for the scan being
    // judged), and kept until the next record.
    const char* value = in_use != nullptr ? in_use->text[i].c_str() : std::getenv(kNames[i]);
    fresh[fresh_count++] = i;
    return kept_values[i] = value != nullptr ? value : "";
}

}  // namespace qx::visibility

namespace qx::records {

VisibilityValues* visibility_values_taken() {
    auto* values = new VisibilityValues;
    for (std::size_t i = 0; i < visibility::kCount; ++i) {
        const char* value = visibility::slot_of(i) < 0 ? std::getenv(visibility::kNames[i]) : nullptr;
        if (value != nullptr) values->text[i] = value;
    }
    return values;
}

void visibility_values_release(VisibilityValues* values) { delete values; }

int visibility_checks_using(const VisibilityValues* values, int rules, char* record, std::size_t length) {
    visibility::in_use = values;
    const int result = visibility_checks_with(rules, record, length);
    visibility::in_use = nullptr;
    return result;
}

}  // namespace qx::records
