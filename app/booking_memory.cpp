// The bounded memory of bookings: a ring of entries in the order they came and an index
// into it by hash (open addressing, linear probing, erased by shifting back, so no
// tombstones pile up however long the server runs).
#include "app/booking_memory.h"

namespace qx::app {
namespace {

constexpr std::size_t kFirstIndexSize = 1024;  // places; a power of two
constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

std::uint64_t mix(std::uint64_t h, std::string_view text) {
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * kFnvPrime;
    return h;
}

}  // namespace

BookingMemory::BookingMemory(std::size_t capacity) : capacity_(capacity) { clear(); }

std::uint64_t BookingMemory::key(std::string_view card, std::string_view fkey, std::string_view date,
                                 std::string_view time) {
    std::uint64_t h = mix(kFnvOffset, card);
    for (const std::string_view field : {fkey, date, time}) h = mix(mix(h, ","), field);
    // Spread the bits the index takes (the low ones) over the whole hash.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
}

void BookingMemory::clear() {
    ring_.clear();
    index_.assign(kFirstIndexSize, 0);
    mask_ = kFirstIndexSize - 1;
    first_ = next_ = 0;
}

std::uint32_t BookingMemory::place_of(std::uint64_t sequence) const {
    return static_cast<std::uint32_t>(sequence % capacity_) + 1;
}

void BookingMemory::add(std::uint64_t key, std::uint64_t where) {
    if (size() == capacity_) index_erase(place_of(first_++));
    if ((size() + 1) * 2 > index_.size()) grow_index();
    const std::uint32_t place = place_of(next_++);
    if (ring_.size() < place) ring_.resize(place);
    ring_[place - 1] = {key, where};
    index_insert(place);
}

void BookingMemory::move_recent(std::size_t back, std::uint64_t where) { ring_[place_of(next_ - 1 - back) - 1].where = where; }

void BookingMemory::drop_recent(std::size_t count) {
    for (; count > 0 && next_ > first_; --count) index_erase(place_of(--next_));
}

void BookingMemory::index_insert(std::uint32_t place) {
    std::size_t i = home(ring_[place - 1].key);
    while (index_[i] != 0) i = (i + 1) & mask_;
    index_[i] = place;
}

void BookingMemory::index_erase(std::uint32_t place) {
    std::size_t i = home(ring_[place - 1].key);
    while (index_[i] != place) i = (i + 1) & mask_;
    // Shift back every later entry of the run that may stand in the hole.
    for (std::size_t j = (i + 1) & mask_; index_[j] != 0; j = (j + 1) & mask_) {
        const std::size_t k = home(ring_[index_[j] - 1].key);
        const bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
        if (stays) continue;
        index_[i] = index_[j];
        i = j;
    }
    index_[i] = 0;
}

void BookingMemory::grow_index() {
    index_.assign(index_.size() * 2, 0);
    mask_ = index_.size() - 1;
    for (std::uint64_t s = first_; s < next_; ++s) index_insert(place_of(s));
}

}  // namespace qx::app
