// The personnel record filter, its person list and its organisational-unit flags.
#include "visibility/personnel_filter.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "support/config.h"
#include "support/install_dirs.h"
#include "support/language_names.h"
#include "support/path_search.h"
#include "support/record_file.h"
#include "support/text.h"
#include "visibility/fields.h"
#include "visibility/lists.h"
#include "visibility/rule_vars.h"

namespace qx::visibility {
namespace {

// Byte positions of the fields of a personnel record (`personeel`).
constexpr std::size_t kBadnum = 0, kSalnum = 36, kAfdkod = 47, kEdatp = 192, kUitzend = 206, kFunktie = 211,
                      kWplekkod = 304, kLogin = 343, kPersTb = 392, kMaGrp = 399, kMaKreis = 415, kOrgbadnum = 422,
                      kPersBereich = 429, kAbrkreis = 434, kTeamkod = 498, kOrgunkod = 1411;
constexpr std::size_t kLoginWidth = 11;
// Fields of the system parameter record, and the installation codes with their own rules.
constexpr int kAantpersAt = 916, kAantpersWidth = 6, kClientcodAt = 954;
constexpr std::size_t kClientcodSize = 16;
constexpr char kVodInstallation[] = "VOD            ";
constexpr char kZurInstallation[] = "ZUR            ";
constexpr int kTeamWidth = 10;        // QX_TEAM entries are zero-padded to this in VOD installations
constexpr long kCustomFlagCircle = 34;
constexpr long kMaxListNumber = 32767;
constexpr int kListLineSize = 20;     // a list line is read 19 characters at a time
constexpr int kFlagCount = 9;         // flag[0] to flag[8] are set for the first unit
constexpr int kFlagAt = 6;            // flag[k] is at byte 6 + 2k

std::vector<std::uint8_t> person_bitmap;  // bit p-1 set: person p is on the loaded list
bool bitmap_made = false;                  // made at the first use of QX_PLIST
std::int16_t loaded_list = 0;             // the list in the bitmap, 0: none
char oumfil[kOumfilLength];               // the organisational-unit flag record last read

const char* var(RuleVar variable) { return rule_var(variable); }

// Makes orgunit_flag read the flag record again: it does whenever the number at its head
// is not the person's, and then every byte is written anew, so an end of text where the
// number starts is enough.
void forget_oumfil() { oumfil[0] = '\0'; }
bool is_set(RuleVar variable) { return rule_var_set(variable); }

long aantpers() { return text::leading_number(lang::syspar_record() + kAantpersAt, kAantpersWidth); }

// The installation code is the first 15 bytes of `clientcod`, compared as a text: equal
// to one of the codes above (15 characters, no end of text among them) exactly when
// those bytes are.
template <std::size_t N>
bool installation_is(const char (&code)[N]) {
    static_assert(N == kClientcodSize);
    const char* clientcod = lang::syspar_record() + kClientcodAt;
    for (std::size_t i = 0; i + 1 < kClientcodSize; ++i) {  // in place: asked for every record
        if (clientcod[i] != code[i]) return false;
    }
    return true;
}

// The person list test of the filter: 1 on the list, -4 not, 0 when no list is in force.
int person_list_result(const Fields& f) {
    const char* plist = var(RuleVar::Plist);
    if (plist[0] == '\0') return 0;
    const long person = f.number(kBadnum);  // read only when a list is in force
    const long number = text::read_int(plist);
    if (number <= 0) return 0;
    if (number > kMaxListNumber) return kNotInList;  // no such list can exist
    const auto list = static_cast<std::int16_t>(number);
    if (!bitmap_made) {
        person_bitmap.assign(static_cast<std::size_t>(aantpers() > 0 ? aantpers() : 0) / 8 + 1, 0);
        bitmap_made = true;
    }
    if (list != loaded_list) load_person_list(person_bitmap, list);
    loaded_list = list;
    return person_in_list(person_bitmap, person, list) == 1 ? 1 : kNotInList;
}

// The organisational-unit criterion: the unit is listed and its flag is set.
bool orgunit_criterion(const Fields& f, const char* record, std::size_t length) {
    const char* units = var(RuleVar::Orgun);
    if (in_list(units, f.at(kOrgunkod)) != kInList) return false;
    return orgunit_flag(record, length, static_cast<std::int16_t>(first_in_list(units, f.at(kOrgunkod)))) == 1;
}

long date_limit();  // QX_DATP, in the plan of the configuration in force

bool below_date_limit(const Fields& f) {
    const long limit = date_limit();
    return limit > 0 && f.number(kEdatp) < limit;
}

int final_checks(const Fields& f, int admitted) {
    if (below_date_limit(f)) return kNotInList;
    if (is_set(RuleVar::Customflag) && installation_is(kZurInstallation) && f.number(kMaKreis) == kCustomFlagCircle) {
        return kNotInList;
    }
    return admitted;
}

// The list criteria both modes share, by variable and field, in the order of AND mode.
struct ListCriterion {
    RuleVar variable;  // QX_ORGUN: the organisational unit, with its flag
    std::size_t field;
};
constexpr ListCriterion kAndCriteria[] = {
    {RuleVar::Uitz, kUitzend}, {RuleVar::Afd, kAfdkod}, {RuleVar::Salnum, kSalnum}, {RuleVar::Orgun, kOrgunkod},
    {RuleVar::Wplek, kWplekkod}, {RuleVar::Fun, kFunktie}, {RuleVar::Team, kTeamkod}, {RuleVar::PersTb, kPersTb},
    {RuleVar::MaGrp, kMaGrp}, {RuleVar::MaKreis, kMaKreis}, {RuleVar::Orgbadnum, kOrgbadnum},
    {RuleVar::PersBereich, kPersBereich}, {RuleVar::Abrkreis, kAbrkreis}};

int and_mode(const Fields& f, const char* record, std::size_t length) {
    int admitted = 1;
    for (const ListCriterion& c : kAndCriteria) {
        if (c.variable == RuleVar::Orgun) {
            forget_oumfil();
            if (is_set(RuleVar::Orgun) && !orgunit_criterion(f, record, length)) admitted = kNotInList;
        } else if (is_set(c.variable) && in_list(var(c.variable), f.at(c.field)) != kInList) {
            admitted = kNotInList;
        }
    }
    if (admitted != 1 || below_date_limit(f)) return kNotInList;
    return 1;
}

// A list criterion followed, when it matched, by its paired list (QX_AFD with QX_PEE).
inline int paired(const Fields& f, RuleVar first, std::size_t first_field, RuleVar second,
           std::size_t second_field) {
    int a = in_list(var(first), f.at(first_field));
    if (a == kInList && is_set(second)) a = in_list(var(second), f.at(second_field));
    return a;
}

int team_criterion(const Fields& f) {
    if (!installation_is(kVodInstallation)) return in_list(var(RuleVar::Team), f.at(kTeamkod));
    if (is_set(RuleVar::Team)) return in_padded_list(var(RuleVar::Team), f.at(kTeamkod), kTeamWidth);
    return f.number(kLogin) == text::read_int(var(RuleVar::Ma1)) ? kInList : kNotInList;
}

int login_criterion(const Fields& f) {
    char login[kLoginWidth + 1];
    text::copy_text(login, sizeof login, f.at(kLogin));
    return in_list(var(RuleVar::Ma), text::trim_right(login));
}

// The steps of OR mode, in the plan of the configuration in force.
enum class Step : std::uint8_t { List, Paired, Orgun, ForgetFlags, Login, Team, Ma1Team };
struct OrStep {
    Step step;
    RuleVar variable;  // List and Paired: the list; Paired also `second`
    std::size_t field;
    RuleVar second;
    std::size_t second_field;
};
constexpr std::size_t kMaxOrSteps = 16;

// What the configuration in force makes of the filter, worked out once for it: its
// variables are remembered, so they cannot change before the configuration's remembered
// values are forgotten (rule_vars_snapshot). OR mode's criteria in their order, those
// whose variable is not set left out; the variables that are not remembered (QX_MA, and
// QX_MA1 with the team criterion) are tested for every record. And QX_DATP as a number.
struct Plan {
    unsigned snapshot = 0;     // the rule_vars_snapshot it was made for
    bool made = false;
    long date_limit = 0;       // QX_DATP
    std::size_t count = 0;     // OR mode's steps
    OrStep steps[kMaxOrSteps];
};

Plan plan;

__attribute__((noinline)) const Plan& make_plan() {
    Plan made;
    auto add = [&made](bool configured, OrStep step) {
        if (configured) made.steps[made.count++] = step;
    };
    auto list = [&add](RuleVar variable, std::size_t field) {
        add(is_set(variable), {Step::List, variable, field, variable, 0});
    };
    list(RuleVar::Uitz, kUitzend);
    add(is_set(RuleVar::AfdPp), {Step::Paired, RuleVar::AfdPp, kAfdkod, RuleVar::PeePp, kWplekkod});
    add(is_set(RuleVar::Afd), {Step::Paired, RuleVar::Afd, kAfdkod, RuleVar::Pee, kWplekkod});
    list(RuleVar::Salnum, kSalnum);
    add(true, {Step::ForgetFlags, RuleVar::Orgun, 0, RuleVar::Orgun, 0});  // read anew for every record judged
    add(is_set(RuleVar::Orgun), {Step::Orgun, RuleVar::Orgun, kOrgunkod, RuleVar::Orgun, 0});
    list(RuleVar::Wplek, kWplekkod);
    list(RuleVar::Fun, kFunktie);
    add(true, {Step::Login, RuleVar::Ma, kLogin, RuleVar::Ma, 0});
    add(true, {is_set(RuleVar::Team) ? Step::Team : Step::Ma1Team, RuleVar::Team, kTeamkod, RuleVar::Ma1, 0});
    list(RuleVar::PersTb, kPersTb);
    list(RuleVar::MaGrp, kMaGrp);
    list(RuleVar::MaKreis, kMaKreis);
    list(RuleVar::Orgbadnum, kOrgbadnum);
    list(RuleVar::PersBereich, kPersBereich);
    list(RuleVar::Abrkreis, kAbrkreis);
    made.date_limit = text::read_int(var(RuleVar::Datp));
    made.snapshot = rule_vars_snapshot();
    made.made = true;
    plan = made;
    return plan;
}

const Plan& current_plan() {
    if (plan.made && plan.snapshot == rule_vars_snapshot()) return plan;
    return make_plan();
}

long date_limit() { return current_plan().date_limit; }

int or_mode(const Fields& f, const char* record, std::size_t length, int a) {
    // A criterion whose variable is not set leaves `a` as it is; one that is evaluated
    // sets it. The first that admits the person ends the search.
    const Plan& configured = current_plan();
    bool admitted = false;
    for (std::size_t i = 0; i < configured.count && !admitted; ++i) {
        const OrStep& s = configured.steps[i];
        switch (s.step) {
            case Step::List: a = in_list(var(s.variable), f.at(s.field)); break;
            case Step::Paired: a = paired(f, s.variable, s.field, s.second, s.second_field); break;
            case Step::Orgun: a = orgunit_criterion(f, record, length) ? kInList : kNotInList; break;
            case Step::ForgetFlags: forget_oumfil(); break;
            case Step::Login:
                if (is_set(RuleVar::Ma)) a = login_criterion(f);
                break;
            case Step::Team: a = team_criterion(f); break;
            case Step::Ma1Team:
                if (installation_is(kVodInstallation) && is_set(RuleVar::Ma1)) a = team_criterion(f);
                break;
        }
        admitted = a == 1;
    }
    if (!admitted && a < 0) return a;  // something was configured and nothing matched
    return final_checks(f, a);
}

}  // namespace

int personnel_filter(const char* record, std::size_t length) {
    rule_vars_begin_record();
    const Fields f(record, length);
    const int listed = person_list_result(f);
    if (listed == 1) return final_checks(f, 1);
    if (is_set(RuleVar::And)) return and_mode(f, record, length);
    return or_mode(f, record, length, listed);
}

int orgunit_flag(const char* record, std::size_t length, std::int16_t first_entry) {
    const long person = Fields(record, length).number(kBadnum);
    if (person <= 0) return 0;
    if (text::leading_number(oumfil, kAantpersWidth) != person) {
        if (records::read_unjudged_record(dirs::home_path("oumfil.bes"), static_cast<std::int32_t>(person), kOumfilLength,
                                 oumfil) < 0) {
            char number[24];
            std::snprintf(number, sizeof number, "%ld", person);
            std::memset(oumfil, 0, sizeof oumfil);
            text::copy_text(oumfil, sizeof oumfil - 1, number);
            oumfil[kOumfilLength - 1] = '\n';
        }
    }
    if (first_entry == 1) {
        for (int k = 0; k < kFlagCount; ++k) std::memcpy(oumfil + kFlagAt + 2 * k, "1", 2);
    }
    return oumfil[kFlagAt] == '1' && oumfil[kFlagAt + 1] == '\0' ? 1 : 0;
}

std::vector<std::uint8_t>& load_person_list(std::vector<std::uint8_t>& bitmap, std::int16_t list) {
    const long persons = aantpers() > 0 ? aantpers() : 0;
    const std::size_t bytes = static_cast<std::size_t>(persons) / 8 + 1;
    if (bitmap.size() < bytes) bitmap.resize(bytes);  // the bitmap always covers what is written
    std::memset(bitmap.data(), 0, bytes);
    char name[32];
    std::snprintf(name, sizeof name, "vst/plst%04d.bes", static_cast<int>(list));
    platform::TextFile* file = paths::rfopen(name, "r");
    if (file == nullptr) return bitmap;
    char line[kListLineSize];
    while (platform::text_read_line(file, line, sizeof line)) {
        const long person = text::read_int(line);
        if (person >= 1 && person <= persons) {
            bitmap[static_cast<std::size_t>(person - 1) / 8] |= static_cast<std::uint8_t>(1u << ((person - 1) % 8));
        }
    }
    platform::text_close(file);
    return bitmap;
}

int person_in_list(const std::vector<std::uint8_t>& bitmap, long person, std::int16_t list) {
    if (list == 0 || bitmap.empty()) return 1;
    if (person < 1 || person > aantpers()) return 0;
    const auto byte = static_cast<std::size_t>(person - 1) / 8;
    if (byte >= bitmap.size()) return 0;
    return (bitmap[byte] >> ((person - 1) % 8)) & 1;
}

void forget_filter_state() {
    person_bitmap.clear();
    bitmap_made = false;
    loaded_list = 0;
    std::memset(oumfil, 0, sizeof oumfil);
}

}  // namespace qx::visibility
