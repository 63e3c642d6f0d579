// Fixed-length record reading: record n of a file of L-byte records is bytes
// (n-1)*L to n*L-1, read through the open-file table, with every "~" after byte 0 turned
// into an end-of-text byte so each field is a text at its byte position. The record
// visibility rules may reject it. No state of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx::records {

inline constexpr int kReadOk = 0;
inline constexpr int kOpenFailed = -1;
inline constexpr int kSeekFailed = -2;   // the position (n-1)*L is negative (n of 0 or less)
inline constexpr int kReadFailed = -3;   // also: a record length of 0 or less
inline constexpr int kEmptyOrHidden = -4;
inline constexpr int kShortRead = -5;    // fewer than L bytes (beyond the end of the file)

// Reads record `number` of length `length` of data-file `name` into `buffer` (at least
// `length` bytes; nothing is written past them). The head number (the record's leading
// decimal number, read within the record only) of 0 means an empty record (-4). Files
// beyond 2 GiB are read with 64-bit positions.
int read_record(const char* name, std::int32_t number, std::int32_t length, char* buffer);

// Whether the head number of a record, read as atol reads it from its first kHeadLength
// bytes (never past `length`), is 0: no digit but 0 follows the white space and the sign.
// A value saturated at the limits of its type is never 0, so this is exactly the test of
// an empty record, and it holds whether the field ends are converted or still "~".
inline constexpr std::int32_t kHeadLength = 79;
bool head_is_zero(const char* record, std::int32_t length);

// read_record for readers of many records that use only those it gives 0 for (a scan):
// the same results, and the same record after 0, but after -4 the buffer holds the record
// as it was read, its field ends still "~", which is enough to tell an empty record from
// a hidden one by the head number. A scan in which few records are visible is spared
// converting all the others.
int read_visible_record(const char* name, std::int32_t number, std::int32_t length, char* buffer);

// A scan: the records of one data-file in order, read in blocks of whole records
// (kScanBlockBytes at most, one record at least) through the open-file table, each
// judged in place by the same visibility rules as read_record judges it. The variables
// the rules read from the environment at every call of read_record (QX_MA, QX_MA1,
// QX_KLKGROUP) are read once, when the scan is made: its records are all judged as the
// environment stood then. A record that another program rewrites while the scan runs is
// seen as its block was read: with its old bytes if the block was read before the
// write, with its new ones if after, and, for a write the system does not make at once
// (as for read_record), possibly with part of each; records appended to the file are
// seen when the block that reaches them is read after they were written.
inline constexpr std::int32_t kScanBlockBytes = 1 << 20;

class RecordScan {
  public:
    // A scan of data-file `name`, records of `length` bytes. Nothing is read yet.
    RecordScan(const char* name, std::int32_t length);
    ~RecordScan();
    RecordScan(const RecordScan&) = delete;
    RecordScan& operator=(const RecordScan&) = delete;

    // Moves to the next record and returns what read_record gives for it: kReadOk, the
    // record() converted as read_record converts it; kEmptyOrHidden, the record() as it
    // was read (its field ends still "~"), which head_is_zero tells empty from hidden;
    // or the result that ends the scan and is given again at every later call: kShortRead
    // past the last whole record, else kOpenFailed, kReadFailed (also for a length of 0
    // or less) or kSeekFailed.
    int next();

    // The number of the record next() moved to (from 1), and its `length` bytes, valid
    // until the next call of next().
    std::int32_t number() const { return number_; }
    const char* record() const { return record_; }

  private:
    bool read_block();

    const char* name_;              // as the caller gave it, for the table and the rules
    std::int32_t length_;
    std::int32_t number_ = 0;       // of the record last given
    int ended_ = kReadOk;           // the result that ended the scan, kReadOk while it runs
    char* block_ = nullptr;         // the block last read
    std::int64_t block_records_ = 0;  // whole records in it
    std::int64_t block_first_ = 0;  // the number of its first record
    char* record_ = nullptr;        // the record last given, inside block_
    int rules_ = 0;                 // the rules of the file, as its block was read
    struct VisibilityValues* values_;  // the rules' values at the start
};

// The record visibility rules (visibility/), the last step of a successful read of
// `length` bytes: 0 accepts the record, kEmptyOrHidden hides it. Records of data-files no
// rule selects are accepted. The record may be given converted or as it was read (its
// field ends still "~"): the verdict is the same.
int visibility_checks(const char* name, char* record, std::size_t length);

// The same in two steps, for readers of many records of one file: which rules apply to
// the records of data-file `name` (the same number for every spelling of one file), and
// the checks of those rules.
inline constexpr int kNoVisibilityRules = 0;  // what visibility_rules_of gives a file without rules
int visibility_rules_of(const char* name);
// Which rules apply to the open file `handle` of the open-file table because it is one
// of the files the rules name under another name (a hard link): compared by the
// system's identity of the files, not by name. kNoVisibilityRules when it is none.
int visibility_rules_of_handle(std::int16_t handle);
int visibility_checks_with(int rules, char* record, std::size_t length);

// The values the rules read from the environment at every record, taken now, so that a
// reader of many records can judge them all as the environment stood at its start; and
// visibility_checks_with judging with such values. Made with visibility_values_taken,
// ended with visibility_values_release.
struct VisibilityValues;
VisibilityValues* visibility_values_taken();
void visibility_values_release(VisibilityValues* values);
int visibility_checks_using(const VisibilityValues* values, int rules, char* record, std::size_t length);

}  // namespace qx::records
