// The configuration variables of the visibility rules, asked for again and again for
// every record judged: each is named once here, its remembered slot found once, and its
// value (for the remembered names, which cannot change once looked up) kept until the
// configuration's remembered values are forgotten. Names that are not remembered are
// read from the environment at every call, as get_config_var does. Owns those values.
#pragma once

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

// Call before the rules judge a record: forgets the values kept here when the
// configuration's remembered values were forgotten (tests do that between cases).
void rule_vars_begin_record();

// get_config_var of the variable's name.
const char* rule_var(RuleVar variable);

// True when rule_var(variable) is not empty.
bool rule_var_set(RuleVar variable);

}  // namespace qx::visibility
