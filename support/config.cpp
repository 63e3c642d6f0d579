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
    return get_config_var_in(cached_index(name), name);
}

const char* get_config_var_in(int slot, const char* name) {
    if (slot < 0 || slot >= kCachedCount) {
        const char* value = name != nullptr ? std::getenv(name) : nullptr;
        return value != nullptr ? value : "";
    }
    Slot& remembered = slots[slot];
    if (!remembered.looked_up) {
        const char* value = std::getenv(kCachedNames[slot]);
        remembered.value = value != nullptr ? value : "";
        remembered.looked_up = true;
    }
    return remembered.value.c_str();
}

int config_slot(const char* name) { return name != nullptr ? cached_index(name) : -1; }

bool is_config_var_set(const char* name) { return get_config_var(name)[0] != '\0'; }

void forget_config_vars() {
    for (Slot& slot : slots) slot = Slot{};
    ++detail::generation;
}

unsigned detail::generation = 0;

}  // namespace qx::config
