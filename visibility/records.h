// Reading records as a restricted user sees them: the records of support/record_file.h,
// each judged by the visibility rules (visibility_checks, visibility/file_filters.h) as
// the last step of its read, one at a time (read_record) or a whole file in order (a
// scan). A record the rules reject gives kEmptyOrHidden, as an empty record does. The
// rules go by the file that was read, whatever its name's spelling or link (its identity
// as the system knows it), and by the caller's spelling for a file known only by a path
// outside the installation. No state of its own beyond the rules chosen last.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/record_file.h"

namespace qx::records {

// Reads record `number` of length `length` of data-file `name` into `buffer` (at least
// `length` bytes; nothing is written past them), converted (support/record_file.h), and
// judges it: kReadOk, kEmptyOrHidden (empty, or hidden by the rules), or a failure code.
// The variables the rules read from the environment at every call (QX_MA, QX_MA1,
// QX_KLKGROUP) are read as the environment holds them at the call.
int read_record(const char* name, std::int32_t number, std::int32_t length, char* buffer);

// read_record for readers of many records that use only those it gives 0 for: the same
// results, and the same record after 0, but after -4 the buffer holds the record as it
// was read, its field ends still "~", which is enough to tell an empty record from a
// hidden one by the head number.
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

}  // namespace qx::records
