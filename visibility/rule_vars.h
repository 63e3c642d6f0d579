// The configuration variables of the visibility rules, asked for again and again for
// every record judged: each is named once here, its remembered slot found once, and its
// value (for the remembered names, which cannot change once looked up) kept until the
// configuration's remembered values are forgotten. Names that are not remembered (QX_MA,
// QX_MA1, QX_KLKGROUP) are read from the environment as get_config_var reads them, once
// per record judged: whatever changed the environment between two records (setenv,
// unsetenv, clearenv, putenv, an edited putenv buffer, a new environ), the next record
// sees it. Owns those values.
#pragma once

#include <cstddef>

#include "support/config.h"

namespace qx::visibility {

enum class RuleVar {
    Abrkreis,
    Afd,
    AfdPp,
    And,
    Customflag,
    Datp,
    Fun,
    Klkgroup,
    Ma,
    Ma1,
    MaGrp,
    MaKreis,
    Orgbadnum,
    Orgun,
    Pee,
    PeePp,
    PersBereich,
    PersTb,
    Plist,
    Salnum,
    Team,
    Uitz,
    Wplek,
    Count
};

namespace detail {
extern const char* kept_values[static_cast<int>(RuleVar::Count)];  // null: not kept (yet)
extern unsigned kept_generation;  // the config_generation the kept values belong to
extern int fresh_count;           // values of names that are not remembered, kept for one record
const char* look_up(RuleVar variable);
void forget_kept();
void forget_fresh();
}  // namespace detail

// Call before the rules judge a record: forgets the values of the names that are not
// remembered (read again for this record), and all values when the configuration's
// remembered values were forgotten (tests do that between cases).
inline void rule_vars_begin_record() {
    if (detail::kept_generation != config::config_generation()) detail::forget_kept();
    if (detail::fresh_count != 0) detail::forget_fresh();
}

// Which snapshot of the configuration's remembered values the rules judge with: it
// changes when the remembered values are forgotten (and rule_vars_begin_record runs), and
// only then. What is worked out from remembered variables alone is kept against it.
inline unsigned rule_vars_snapshot() { return detail::kept_generation; }

// get_config_var of the variable's name; a kept value is one load (the rules ask for a
// dozen variables for every record).
inline const char* rule_var(RuleVar variable) {
    const char* value = detail::kept_values[static_cast<int>(variable)];
    return value != nullptr ? value : detail::look_up(variable);
}

// True when rule_var(variable) is not empty.
inline bool rule_var_set(RuleVar variable) { return rule_var(variable)[0] != '\0'; }

}  // namespace qx::visibility

namespace qx::records {

// The values the rules read from the environment at every record, taken now, so that a
// reader of many records can judge them all as the environment stood at its start; and
// visibility_checks_with judging with such values. Made with visibility_values_taken,
// ended with visibility_values_release.
struct VisibilityValues;
VisibilityValues* visibility_values_taken();
void visibility_values_release(VisibilityValues* values);
int visibility_checks_using(const VisibilityValues* values, int rules, char* record, std::size_t length);

}  // namespace qx::records
