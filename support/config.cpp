// The configuration-variable lookup and its 35 remembered slots.
#include "support/config.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace qx::config {
namespace {

constexpr const char* kCachedNames[] = {
    "QX_CUSTOMF",    "QX_VALIDF",       "QX_SCRNM",      "QX_BGCOL",          "QX_PLIST",
    "QX_UITZ",       "QX_AND",          "QX_AFD",        "QX_AFD_PP",         "QX_WPLEK",
    "QX_PEE",        "QX_PEE_PP",       "QX_FUN",        "QX_TEAM",           "QX_ORGUN",
    "QX_SALNUM",     "QX_PERS_TB",      "QX_MA_GRP",     "QX_MA_KREIS",       "QX_ORGBADNUM",
    "QX_PERS_BEREICH", "QX_ABRKREIS",   "QX_DATP",       "QX_CUSTOMFLAG",     "QX_LANGUAGE",
    "QX_BROWSERID",  "QX_LEPLAN_READONLY", "QX_LEPLAN_SUPER", "QX_UIAFD_SUPER", "QX_SHOW_COST",
    "QX_CATOK",      "QX_PPACTS",       "QX_PROJVIEWS",  "QX_TARIEFS",        "QX_SPESTBS",
};
constexpr int kCachedCount = sizeof kCachedNames / sizeof kCachedNames[0];
static_assert(kCachedCount == 35);

struct Slot {
    bool looked_up = false;  // filled at the first lookup of its name
    std::string value;       // the value then, or empty text for an absent variable
};

Slot slots[kCachedCount];  // one per cached name, in table order

int cached_index(const char* name) {
    for (int i = 0; i < kCachedCount; ++i) {
        if (std::strcmp(name, kCachedNames[i]) == 0) return i;
    }
    return -1;
}

}  // namespace

const char* get_config_var(const char* name) {
    if (name == nullptr) return "";
    const int index = cached_index(name);
    if (index < 0) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }
    Slot& slot = slots[index];
    if (!slot.looked_up) {
        const char* value = std::getenv(name);
        slot.value = value != nullptr ? value : "";
        slot.looked_up = true;
    }
    return slot.value.c_str();
}

bool is_config_var_set(const char* name) { return get_config_var(name)[0] != '\0'; }

bool is_cached_config_var(const char* name) { return name != nullptr && cached_index(name) >= 0; }

void forget_config_vars() {
    for (Slot& slot : slots) slot = Slot{};
}

}  // namespace qx::config
