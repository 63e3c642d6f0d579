// The visibility checks of the data-files with rules of their own.
#include "visibility/file_filters.h"

#include <cstring>
#include <string>

#include "platform/files.h"
#include "support/data_name.h"
#include "support/file_table.h"
#include "support/path_search.h"
#include "support/record_file.h"
#include "support/text.h"
#include "visibility/fields.h"
#include "visibility/lists.h"
#include "visibility/rule_vars.h"
#include "visibility/personnel_filter.h"

namespace qx::records {
namespace {

using visibility::RuleVar;

// The files with rules of their own, chosen by the beginning of the name (none of these
// names begins another).
enum class FilteredFile { None, Persons, Clocks, AccessGroups, ShiftGroups, Departments, Workplaces, Teams };
static_assert(static_cast<int>(FilteredFile::None) == kNoVisibilityRules);

constexpr struct {
    const char* prefix;
    FilteredFile file;
} kFiles[] = {{"vst/pers.172", FilteredFile::Persons},       {"vst/klok.166", FilteredFile::Clocks},
              {"vst/accgrp.bes", FilteredFile::AccessGroups}, {"vst/shftgrp.161", FilteredFile::ShiftGroups},
              {"vst/afd.166", FilteredFile::Departments},    {"vst/wplek.166", FilteredFile::Workplaces},
              {"vst/team.bes", FilteredFile::Teams}};

FilteredFile filtered_file(const char* name) {
    if (std::strncmp(name, "vst/", 4) != 0) return FilteredFile::None;
    for (const auto& candidate : kFiles) {
        if (std::strncmp(name, candidate.prefix, std::strlen(candidate.prefix)) == 0) return candidate.file;
    }
    return FilteredFile::None;
}

const char* var(RuleVar variable) { return visibility::rule_var(variable); }
bool is_set(RuleVar variable) { return visibility::rule_var_set(variable); }

// The clock group test: QX_KLKGROUP's number is one of the four groups at `positions`.
bool in_clock_group(const visibility::Fields& f, const std::size_t (&positions)[4]) {
    const long group = text::read_int(var(RuleVar::Klkgroup));
    for (std::size_t position : positions) {
        if (text::read_int(f.at(position)) == group) return true;
    }
    return false;
}

bool listed(RuleVar variable, const char* value) { return visibility::in_list(var(variable), value) >= 0; }

}  // namespace

int visibility_rules_of(const char* name) {
    char canonical[paths::kDataNameSize];
    return static_cast<int>(filtered_file(paths::canonical_name(name, canonical)));  // no spelling escapes
}

int visibility_rules_of_handle(std::int16_t handle) {
    const platform::FileId* id = table::file_id_of(handle);
    if (id == nullptr) return kNoVisibilityRules;
    for (const auto& candidate : kFiles) {
        std::string name = candidate.prefix;
        for (const std::string& path : paths::candidates(name.data())) {
            platform::FileId named;
            if (!platform::path_file_id(path.c_str(), &named)) continue;  // the search would go on
            if (named == *id) return static_cast<int>(candidate.file);
            break;  // the file the search opens for this name
        }
    }
    return kNoVisibilityRules;
}

int visibility_checks(const char* name, char* record, std::size_t length) {
    return visibility_checks_with(visibility_rules_of(name), record, length);
}

int visibility_checks_with(int rules, char* record, std::size_t length) {
    static constexpr std::size_t kClockGroups[4] = {124, 127, 130, 133};
    static constexpr std::size_t kAccessGroups[4] = {61, 64, 67, 70};
    const auto file = static_cast<FilteredFile>(rules);
    if (file == FilteredFile::None) return kReadOk;
    if (file == FilteredFile::Persons) return visibility::personnel_filter(record, length) < 0 ? kEmptyOrHidden : kReadOk;
    visibility::rule_vars_begin_record();
    const visibility::Fields f(record, length);
    switch (file) {
        case FilteredFile::Clocks:
            return is_set(RuleVar::Klkgroup) && !in_clock_group(f, kClockGroups) ? kEmptyOrHidden : kReadOk;
        case FilteredFile::AccessGroups:
            return is_set(RuleVar::Klkgroup) && !in_clock_group(f, kAccessGroups) ? kEmptyOrHidden : kReadOk;
        case FilteredFile::ShiftGroups:
            return is_set(RuleVar::Wplek) && text::is_blank(f.at(70)) == 0 && !listed(RuleVar::Wplek, f.at(70))
                       ? kEmptyOrHidden
                       : kReadOk;
        case FilteredFile::Departments:
            if (is_set(RuleVar::Afd) && !listed(RuleVar::Afd, f.at(5))) return kEmptyOrHidden;
            return is_set(RuleVar::Abrkreis) && !listed(RuleVar::Abrkreis, f.at(79)) ? kEmptyOrHidden : kReadOk;
        case FilteredFile::Workplaces:
            return is_set(RuleVar::Pee) && !listed(RuleVar::Pee, f.at(5)) ? kEmptyOrHidden : kReadOk;
        case FilteredFile::Teams:
            return is_set(RuleVar::Team) && !listed(RuleVar::Team, f.at(5)) ? kEmptyOrHidden : kReadOk;
        case FilteredFile::None:
        case FilteredFile::Persons: break;
    }
    return kReadOk;
}

}  // namespace qx::records
