// Reading records and judging them: one at a time and in scans.
#include "visibility/records.h"

#include "platform/files.h"
#include "support/file_table.h"
#include "visibility/file_filters.h"
#include "visibility/rule_vars.h"

namespace qx::records {
namespace {

// The rules for the records of the open file `handle`, opened under `name`. They go by
// the file that was read, not by how its name was spelt; worked out again only when the
// table has changed (a scan reads one file record by record).
int rules_of(std::int16_t handle, const char* name) {
    static std::int16_t rules_handle = -1;
    static unsigned rules_generation = 0;
    static int rules = 0;
    if (handle != rules_handle || table::table_generation() != rules_generation) {
        const char* file = table::file_of(handle);
        rules = visibility_rules_of(file != nullptr ? file : name);
        if (rules == kNoVisibilityRules) rules = visibility_rules_of_handle(handle);  // a hard link
        rules_handle = handle;
        rules_generation = table::table_generation();
    }
    // A file known only by its full path (below no installation root the system could
    // resolve) is still judged by the rules its caller's spelling names.
    return rules != kNoVisibilityRules ? rules : visibility_rules_of(name);
}

// read_record, but for `convert_hidden` false a record the result -4 is given for (empty
// or hidden) is left as it was read: the rules judge a record whose field ends are still
// "~" (visibility/fields.h) as they judge it converted.
int read(const char* name, std::int32_t number, std::int32_t length, char* buffer, bool convert_hidden) {
    std::int16_t handle = -1;
    int result = read_stored_record(name, number, length, buffer, &handle);
    if (result == kReadOk &&
        visibility_checks_with(rules_of(handle, name), buffer, static_cast<std::size_t>(length)) != 0) {
        result = kEmptyOrHidden;
    }
    if (result == kReadOk || (result == kEmptyOrHidden && convert_hidden)) {
        convert_field_ends(buffer, static_cast<std::size_t>(length));
    }
    return result;
}

}  // namespace

int read_record(const char* name, std::int32_t number, std::int32_t length, char* buffer) {
    return read(name, number, length, buffer, true);
}

int read_visible_record(const char* name, std::int32_t number, std::int32_t length, char* buffer) {
    return read(name, number, length, buffer, false);
}

RecordScan::RecordScan(const char* name, std::int32_t length)
    : name_(name), length_(length), values_(visibility_values_taken()) {}

RecordScan::~RecordScan() {
    delete[] block_;
    visibility_values_release(values_);
}

// Reads the block that holds record number_ + 1. False, with ended_ set, when the scan ends.
bool RecordScan::read_block() {
    const std::int64_t per_block = length_ > 0 && kScanBlockBytes / length_ > 0 ? kScanBlockBytes / length_ : 1;
    const std::size_t capacity = static_cast<std::size_t>(per_block * (length_ > 0 ? length_ : 1));
    if (block_ == nullptr) block_ = new char[capacity];
    block_first_ = static_cast<std::int64_t>(number_) + 1;
    std::int16_t handle = -1;
    block_records_ = read_stored_records(name_, block_first_, length_, block_, capacity, &handle);
    if (block_records_ < 0) {
        ended_ = static_cast<int>(block_records_);
        block_records_ = 0;
        return false;
    }
    if (block_records_ == 0) {
        ended_ = kShortRead;
        return false;
    }
    // The rules of the file as it is open now: the caller may have closed or reopened it.
    rules_ = rules_of(handle, name_);
    return true;
}

int RecordScan::next() {
    if (ended_ != kReadOk) return ended_;
    if (number_ == INT32_MAX) return ended_ = kShortRead;
    if (number_ + 1 >= block_first_ + block_records_ && !read_block()) return ended_;
    ++number_;
    record_ = block_ + (number_ - block_first_) * length_;
    const auto size = static_cast<std::size_t>(length_);
    if (head_is_zero(record_, length_) || visibility_checks_using(values_, rules_, record_, size) != 0) {
        return kEmptyOrHidden;
    }
    convert_field_ends(record_, size);
    return kReadOk;
}

}  // namespace qx::records
