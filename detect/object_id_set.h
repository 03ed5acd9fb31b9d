// A set of object ids kept in one flat array (open addressing, linear
// probing): about 8 to 21 bytes per id, where a node-based hash set takes
// over 50.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>
#include <xmmintrin.h>

#include "plugin/host/host_api.h"

namespace velmora {

class ObjectIdSet {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = ObjectId;
    using difference_type = std::ptrdiff_t;
    using pointer = const ObjectId*;
    using reference = const ObjectId&;

    const_iterator() = default;
    reference operator*() const { return *at_; }
    const_iterator& operator++() {
      at_ = set_->NextStored(at_);
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const const_iterator& other) const { return at_ == other.at_; }

   private:
    friend class ObjectIdSet;
    const_iterator(const ObjectIdSet* set, const ObjectId* at) : set_(set), at_(at) {}
    const ObjectIdSet* set_ = nullptr;
    const ObjectId* at_ = nullptr;
  };

  ObjectIdSet() = default;
  ObjectIdSet(const ObjectIdSet& other) = default;
  ObjectIdSet(ObjectIdSet&& other) noexcept { Take(other); }
  ObjectIdSet& operator=(const ObjectIdSet& other) = default;
  ObjectIdSet& operator=(ObjectIdSet&& other) noexcept {
    if (this != &other) Take(other);
    return *this;
  }

  // True when the id was not in the set yet.
  bool insert(ObjectId id);
  bool contains(ObjectId id) const {
    if (id == kFreeSlot) return holdsFreeSlotId_;
    return !slots_.empty() && slots_[Probe(id)] == id;
  }
  // Starts loading the slot where contains(id) looks first, for a lookup a
  // little later: a large set's slots are mostly not in the cache. The x64
  // intrinsic, which GCC, Clang and MSVC all know.
  void prefetch(ObjectId id) const {
    if (!slots_.empty())
      _mm_prefetch(reinterpret_cast<const char*>(&slots_[SlotOf(id)]), _MM_HINT_T0);
  }
  std::size_t size() const { return size_; }
  // The slots, free or taken: the set's memory is bucket_count() ids.
  std::size_t bucket_count() const { return slots_.size(); }
  bool empty() const { return size_ == 0; }
  // Also gives the memory back.
  void clear();
  // Room for `count` ids in all, so that adding them does not move the rest.
  void reserve(std::size_t count);

  // In no particular order; invalidated by insert and reserve.
  const_iterator begin() const;
  const_iterator end() const { return const_iterator(this, slots_.data() + slots_.size()); }

  // The same ids, whatever the order they were added in.
  friend bool operator==(const ObjectIdSet& a, const ObjectIdSet& b);

 private:
  // The id that marks a free slot; when it is itself in the set, a flag
  // says so instead of a slot.
  static constexpr ObjectId kFreeSlot = 0;

  std::size_t SlotOf(ObjectId id) const {
    // Folding the high half in first spreads ids that differ only there; the
    // multiply then carries every bit into the top bits, which pick the slot.
    auto bits = static_cast<std::uint64_t>(id);
    bits ^= bits >> 32;
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  // The slot that holds `id`, or the free one where it would go.
  std::size_t Probe(ObjectId id) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = SlotOf(id);
    while (slots_[slot] != id && slots_[slot] != kFreeSlot)
      slot = (slot + 1) & mask;
    return slot;
  }
  void Rehash(std::size_t capacity);
  const ObjectId* NextStored(const ObjectId* at) const;
  void Take(ObjectIdSet& other);

  std::vector<ObjectId> slots_;  // a power of two of them, or none
  int shift_ = 64;               // 64 less log2 of the slot count
  std::size_t size_ = 0;         // the ids in slots_, and the free-slot id if held
  bool holdsFreeSlotId_ = false;
  ObjectId freeSlotId_ = kFreeSlot;  // what the iterator shows for that id
};

}  // namespace velmora
