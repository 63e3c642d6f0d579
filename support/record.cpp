// Reading fixed-length records through the open-file table.
#include "support/record.h"

#include "platform/files.h"
#include "support/file_table.h"

namespace qx::records {
namespace {

constexpr char kFieldEnd = '~';

// Every field end after byte 0 becomes an end of text. Written without a branch so that
// the compiler turns it into vector code (support/CMakeLists.txt asks GCC to): the loop
// runs at memory speed over every record read; on x86-64 ELF systems in a second, wider
// version for processors that have AVX2, chosen once when the program is loaded.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__)
__attribute__((target_clones("avx2", "default")))
#endif
void end_fields(char* buffer, std::size_t length) {
    for (std::size_t i = 1; i < length; ++i) buffer[i] = buffer[i] == kFieldEnd ? '\0' : buffer[i];
}

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
    const std::int16_t handle = table::table_open(name, "r");
    if (handle < 0) return kOpenFailed;
    const std::int64_t position = (static_cast<std::int64_t>(number) - 1) * length;
    if (position < 0) return kSeekFailed;
    if (length <= 0) return kReadFailed;
    const long got = platform::file_read_at(handle, position, buffer, static_cast<std::size_t>(length));
    if (got == platform::kReadAtBadOffset) return kSeekFailed;
    if (got < 0) return kReadFailed;
    if (got < length) return kShortRead;
    int result = kEmptyOrHidden;
    if (!head_is_zero(buffer, length) &&
        visibility_checks_with(rules_of(handle, name), buffer, static_cast<std::size_t>(length)) == 0) {
        result = kReadOk;
    }
    if (result == kReadOk || convert_hidden) end_fields(buffer, static_cast<std::size_t>(length));
    return result;
}

}  // namespace

bool head_is_zero(const char* record, std::int32_t length) {
    const char* c = record;
    const char* const end = record + (length < kHeadLength ? length : kHeadLength);
    while (c != end && (*c == ' ' || (*c >= '\t' && *c <= '\r'))) ++c;
    if (c != end && (*c == '+' || *c == '-')) ++c;
    while (c != end && *c == '0') ++c;
    return c == end || *c < '1' || *c > '9';
}

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
    if (length_ <= 0) {
        ended_ = table::table_open(name_, "r") < 0 ? kOpenFailed : kReadFailed;
        return false;
    }
    const std::int16_t handle = table::table_open(name_, "r");
    if (handle < 0) {
        ended_ = kOpenFailed;
        return false;
    }
    const std::int64_t per_block = kScanBlockBytes / length_ > 0 ? kScanBlockBytes / length_ : 1;
    if (block_ == nullptr) block_ = new char[static_cast<std::size_t>(per_block * length_)];
    block_first_ = static_cast<std::int64_t>(number_) + 1;
    const long got = platform::file_read_at(handle, (block_first_ - 1) * length_, block_,
                                            static_cast<std::size_t>(per_block * length_));
    if (got < 0) {
        ended_ = got == platform::kReadAtBadOffset ? kSeekFailed : kReadFailed;
        return false;
    }
    block_records_ = got / length_;
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
    end_fields(record_, size);
    return kReadOk;
}

}  // namespace qx::records
