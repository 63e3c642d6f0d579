// The visibility checks that end every successful record read, selected by the data-file
// name the reader was given: the personnel filter for "vst/pers.172", and simple filters
// for the clock, access-group, shift-group, department, workplace and team master files.
#include <cstring>
#include <string>

#include "support/config.h"
#include "support/record.h"
#include "support/text.h"
#include "visibility/fields.h"
#include "visibility/lists.h"
#include "visibility/personnel_filter.h"

namespace qx::records {
namespace {

bool named(const char* name, const char* literal) { return std::strncmp(name, literal, std::strlen(literal)) == 0; }

const char* var(const char* name) { return config::get_config_var(name); }
bool is_set(const char* name) { return config::is_config_var_set(name); }

// The clock group test: QX_KLKGROUP's number is one of the four groups at `positions`.
bool in_clock_group(const visibility::Fields& f, const std::size_t (&positions)[4]) {
    const long group = text::read_int(var("QX_KLKGROUP"));
    for (std::size_t position : positions) {
        if (text::read_int(f.at(position)) == group) return true;
    }
    return false;
}

bool listed(const char* variable, const char* value) { return visibility::in_list(var(variable), value) >= 0; }

}  // namespace

int visibility_checks(const char* name, char* record, std::size_t length) {
    static constexpr std::size_t kClockGroups[4] = {124, 127, 130, 133};
    static constexpr std::size_t kAccessGroups[4] = {61, 64, 67, 70};
    const visibility::Fields f(record, length);
    if (named(name, "vst/pers.172") && visibility::personnel_filter(record, length) < 0) return kEmptyOrHidden;
    if (named(name, "vst/klok.166") && is_set("QX_KLKGROUP") && !in_clock_group(f, kClockGroups)) return kEmptyOrHidden;
    if (named(name, "vst/accgrp.bes") && is_set("QX_KLKGROUP") && !in_clock_group(f, kAccessGroups)) {
        return kEmptyOrHidden;
    }
    if (named(name, "vst/shftgrp.161") && is_set("QX_WPLEK") && text::is_blank(f.at(70)) == 0 &&
        !listed("QX_WPLEK", f.at(70))) {
        return kEmptyOrHidden;
    }
    if (named(name, "vst/afd.166")) {
        if (is_set("QX_AFD") && !listed("QX_AFD", f.at(5))) return kEmptyOrHidden;
        if (is_set("QX_ABRKREIS") && !listed("QX_ABRKREIS", f.at(79))) return kEmptyOrHidden;
    }
    if (named(name, "vst/wplek.166") && is_set("QX_PEE") && !listed("QX_PEE", f.at(5))) return kEmptyOrHidden;
    if (named(name, "vst/team.bes") && is_set("QX_TEAM") && !listed("QX_TEAM", f.at(5))) return kEmptyOrHidden;
    return kReadOk;
}

}  // namespace qx::records
