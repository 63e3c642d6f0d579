// List membership over comma-separated configuration values.
#include "visibility/lists.h"

#include <cstring>
#include <string>

#include "support/text.h"

namespace qx::visibility {
namespace {

constexpr char kSeparator = ',';

// One entry as field_at would give it: its start and the length field_at keeps (298
// characters at the end of the list, 297 before a comma).
struct Entry {
    const char* start;
    std::size_t length;
    const char* next;  // where the following entry starts, or null after the last
};

Entry entry_at(const char* p) {
    const char* comma = std::strchr(p, kSeparator);
    const std::size_t length = comma != nullptr ? static_cast<std::size_t>(comma - p) : std::strlen(p);
    const std::size_t keep = static_cast<std::size_t>(text::kFieldBufferSize) - (comma != nullptr ? 2 : 1);
    return {p, length < keep ? length : keep, comma != nullptr ? comma + 1 : nullptr};
}

bool equals(const Entry& e, const char* value, std::size_t value_length) {
    return e.length == value_length && std::memcmp(e.start, value, value_length) == 0;
}

}  // namespace

int in_list(const char* list, const char* value) {
    // One pass, entry by entry, without a library call: the rules ask this for every
    // record judged, mostly of lists of one or two short entries.
    for (const char* p = list;;) {
        const char* end = p;
        while (*end != kSeparator && *end != '\0') ++end;
        std::size_t length = static_cast<std::size_t>(end - p);
        const std::size_t keep = static_cast<std::size_t>(text::kFieldBufferSize) - (*end == kSeparator ? 2 : 1);
        if (length > keep) length = keep;
        if (length == 0) break;
        std::size_t i = 0;
        while (i < length && value[i] == p[i]) ++i;  // stops at the end of value: p[i] is never NUL
        if (i == length && value[length] == '\0') return kInList;
        if (*end == '\0') break;
        p = end + 1;
    }
    return kNotInList;
}

int in_padded_list(const char* list, const char* value, unsigned width) {
    for (const char* p = list; p != nullptr;) {
        const Entry e = entry_at(p);
        if (e.length == 0) break;
        std::string padded(e.start, e.length);
        if (padded.size() < width) padded.insert(0, width - padded.size(), '0');
        if (padded == value) return kInList;
        p = e.next;
    }
    return kNotInList;
}

int first_in_list(const char* list, const char* value) {
    const Entry e = entry_at(list);
    return equals(e, value, std::strlen(value)) ? 1 : 0;
}

}  // namespace qx::visibility
