// A record read by read_record, seen as texts at byte positions that are never read
// past the record's last byte: a field whose terminator lies inside the record is used
// in place; one that runs to the end of the record is copied with a terminator added;
// a position beyond the record is the empty text. Valid while the record and this
// object live.
#pragma once

#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "support/text.h"

namespace qx::visibility {

class Fields {
  public:
    Fields(const char* record, std::size_t length) : record_(record), length_(length) {}

    const char* at(std::size_t position) const {
        if (position >= length_) return "";
        const char* field = record_ + position;
        if (text::find_end_of_text(field, length_ - position) != nullptr) return field;
        // No terminator in the record. Made only then: a deque allocates as it is made, and
        // a Fields is made for every record judged.
        if (!spilled_) spilled_ = std::make_unique<std::deque<std::string>>();
        return spilled_->emplace_back(field, length_ - position).c_str();
    }
    long number(std::size_t position) const { return text::read_int(at(position)); }

  private:
    const char* record_;
    std::size_t length_;
    mutable std::unique_ptr<std::deque<std::string>> spilled_;  // copies of unterminated fields
};

}  // namespace qx::visibility
