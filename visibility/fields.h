// A record seen as texts at byte positions, never read past the record's last byte. A
// field ends at the first end-of-text byte or "~" after byte 0 (the field end as the file
// holds it), so the record may be given as read_record returns it or as it was read from
// the file, before its field ends were converted: the texts are the same. A field that
// ends in an end-of-text byte inside the record is used in place; one that ends in "~"
// or runs to the end of the record is copied with a terminator added; a position beyond
// the record is the empty text. Valid while the record and this object live.
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
        const char* const field = record_ + position;
        const char* const end = record_ + length_;
        const char* p = field;
        if (position == 0 && *p == kFieldEnd) ++p;  // a "~" at byte 0 is a character
        while (p != end && *p != '\0' && *p != kFieldEnd) ++p;
        if (p != end && *p == '\0') return field;
        return copy(field, static_cast<std::size_t>(p - field));
    }
    long number(std::size_t position) const { return text::read_int(at(position)); }

  private:
    static constexpr char kFieldEnd = '~';
    static constexpr std::size_t kCopiesSize = 512;  // the fields a rule reads of one record, mostly

    const char* copy(const char* field, std::size_t size) const {
        if (size < kCopiesSize - used_) {
            char* text = copies_ + used_;
            std::memcpy(text, field, size);
            text[size] = '\0';
            used_ += size + 1;
            return text;
        }
        // Made only then: a deque allocates as it is made, and a Fields is made for every
        // record judged.
        if (!spilled_) spilled_ = std::make_unique<std::deque<std::string>>();
        return spilled_->emplace_back(field, size).c_str();
    }

    const char* record_;
    std::size_t length_;
    mutable char copies_[kCopiesSize];  // terminated copies, one after the other
    mutable std::size_t used_ = 0;
    mutable std::unique_ptr<std::deque<std::string>> spilled_;  // copies that do not fit there
};

}  // namespace qx::visibility
