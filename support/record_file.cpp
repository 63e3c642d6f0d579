// Reading fixed-length records through the open-file table.
#include "support/record_file.h"

#include "platform/files.h"
#include "support/file_table.h"

namespace qx::records {
namespace {

constexpr char kFieldEnd = '~';

// The common steps of both reads: the file opened, the position checked, `count` bytes
// read at it. The bytes read, or a failure code.
long read_at(const char* name, std::int64_t first, std::int32_t length, char* buffer, std::size_t count,
             std::int16_t* handle) {
    const std::int16_t opened = table::table_open(name, "r");
    if (opened < 0) return kOpenFailed;
    if (handle != nullptr) *handle = opened;
    const std::int64_t position = (first - 1) * length;
    if (position < 0) return kSeekFailed;
    if (length <= 0) return kReadFailed;
    const long got = platform::file_read_at(opened, position, buffer, count);
    if (got == platform::kReadAtBadOffset) return kSeekFailed;
    return got < 0 ? kReadFailed : got;
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

// Written without a branch so that the compiler turns it into vector code
// (support/CMakeLists.txt asks GCC to); on x86-64 ELF systems in a second, wider version
// for processors that have AVX2, chosen once when the program is loaded.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__ELF__)
__attribute__((target_clones("avx2", "default")))
#endif
void convert_field_ends(char* record, std::size_t length) {
    for (std::size_t i = 1; i < length; ++i) record[i] = record[i] == kFieldEnd ? '\0' : record[i];
}

int read_stored_record(const char* name, std::int32_t number, std::int32_t length, char* buffer,
                       std::int16_t* handle) {
    const long got = read_at(name, number, length, buffer, length > 0 ? static_cast<std::size_t>(length) : 0, handle);
    if (got < 0) return static_cast<int>(got);
    if (got < length) return kShortRead;
    return head_is_zero(buffer, length) ? kEmptyOrHidden : kReadOk;
}

int read_unjudged_record(const char* name, std::int32_t number, std::int32_t length, char* buffer) {
    const int result = read_stored_record(name, number, length, buffer);
    if (result == kReadOk || result == kEmptyOrHidden) convert_field_ends(buffer, static_cast<std::size_t>(length));
    return result;
}

std::int64_t read_stored_records(const char* name, std::int64_t first, std::int32_t length, char* block,
                                 std::size_t capacity, std::int16_t* handle) {
    const long got = read_at(name, first, length, block, capacity, handle);
    return got < 0 ? got : got / length;
}

}  // namespace qx::records
