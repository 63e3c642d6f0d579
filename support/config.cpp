// The configuration-variable lookup and its 35 remembered slots.
#include "support/config.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
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
unsigned generation = 0;   // counts forget_config_vars calls

// The remembered names by hash: the visibility rules look several names up for every
// record, and a search through the 35 names cost more than the rest of the rule. A name
// is hashed once and then compared with at most the few names in its chain.
constexpr std::size_t kHashSize = 128;  // a power of two, well above kCachedCount
std::int8_t hash_slots[kHashSize];       // index into kCachedNames, -1: empty
bool hash_made = false;

std::size_t hash_of(const char* name) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (const char* p = name; *p != '\0'; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    return h & (kHashSize - 1);
}

void make_hash() {
    std::fill(std::begin(hash_slots), std::end(hash_slots), std::int8_t{-1});
    for (int i = 0; i < kCachedCount; ++i) {
        std::size_t at = hash_of(kCachedNames[i]);
        while (hash_slots[at] >= 0) at = (at + 1) & (kHashSize - 1);
        hash_slots[at] = static_cast<std::int8_t>(i);
    }
    hash_made = true;
}

int cached_index(const char* name) {
    if (!hash_made) make_hash();
    for (std::size_t at = hash_of(name); hash_slots[at] >= 0; at = (at + 1) & (kHashSize - 1)) {
        if (std::strcmp(name, kCachedNames[hash_slots[at]]) == 0) return hash_slots[at];
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

bool is_cached_config_var(const char* name) { return name != nullptr && cached_index(name) >= 0; }

void forget_config_vars() {
    for (Slot& slot : slots) slot = Slot{};
    ++generation;
}

unsigned config_generation() { return generation; }

}  // namespace qx::config
