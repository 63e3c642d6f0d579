// A bounded memory of bookings, by the hash of their card, function key, date and time:
// the last `capacity` entries, oldest dropped first. It keeps 16 bytes an entry (the hash
// and where the booking is) and an index of 4-byte places at most half full (a power of
// two), so 24 to 32 bytes a booking. A hash only points to candidates: the caller tells
// whether one is really the same booking (two bookings can share a hash). Owns nothing
// beyond the object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qx::app {

class BookingMemory {
  public:
    explicit BookingMemory(std::size_t capacity);

    // The hash of a booking's card, function key, date and time (request fields 7, 4, 5
    // and 6; they never hold a comma, which joins them).
    static std::uint64_t key(std::string_view card, std::string_view fkey, std::string_view date,
                             std::string_view time);

    // Forgets everything.
    void clear();

    // Remembers a booking of hash `key` at `where` (the caller's number: a file offset, or
    // a place in a group not yet written); the oldest entry goes when it is full.
    void add(std::uint64_t key, std::uint64_t where);

    // Calls `same(where)` for each remembered booking of hash `key` until it
    // returns true. Returns whether it did.
    template <typename Same>
    bool find(std::uint64_t key, Same&& same) const {
        for (std::size_t i = home(key); index_[i] != 0; i = (i + 1) & mask_) {
            const Entry& e = ring_[index_[i] - 1];
            if (e.key == key && same(e.where)) return true;
        }
        return false;
    }

    // The number of entries remembered.
    std::size_t size() const { return static_cast<std::size_t>(next_ - first_); }

    // Sets where the entry `back` places from the newest (0: the newest) is.
    void move_recent(std::size_t back, std::uint64_t where);

    // Forgets the `count` newest entries.
    void drop_recent(std::size_t count);

  private:
    struct Entry {
        std::uint64_t key;
        std::uint64_t where;
    };

    std::size_t home(std::uint64_t key) const { return static_cast<std::size_t>(key) & mask_; }
    std::uint32_t place_of(std::uint64_t sequence) const;  // ring place + 1, as the index holds it
    void index_insert(std::uint32_t place);
    void index_erase(std::uint32_t place);
    void grow_index();

    std::size_t capacity_;
    std::vector<Entry> ring_;            // entry n of the sequence at n % capacity_
    std::vector<std::uint32_t> index_;   // open addressing, linear probing: ring place + 1, 0 free
    std::size_t mask_ = 0;               // index_.size() - 1
    std::uint64_t first_ = 0;            // sequence number of the oldest entry
    std::uint64_t next_ = 0;             // sequence number the next entry gets
};

}  // namespace qx::app
