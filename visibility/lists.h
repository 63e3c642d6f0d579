// Membership of a value in a comma-separated list held in a configuration variable,
// entry by entry as field_at gives them (an entry longer than field_at's buffer is cut
// as field_at cuts it). The search stops at the first empty entry: in "A,,B" only A is
// ever compared. No state; one pass over the list, whatever its length.
#pragma once

#include <cstddef>

namespace qx::visibility {

inline constexpr int kInList = 1;
inline constexpr int kNotInList = -4;

// kInList when an entry of `list` equals `value` as a whole text, else kNotInList.
int in_list(const char* list, const char* value);

// As in_list, each entry first padded on the left with '0' up to `width` characters
// (an entry that long or longer is compared as it is).
int in_padded_list(const char* list, const char* value, unsigned width);

// 1 when the first entry of `list` equals `value`, else 0.
int first_in_list(const char* list, const char* value);

}  // namespace qx::visibility
