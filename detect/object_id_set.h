// A set of object ids in one flat array (detect/open_addressing.h): about 8
// to 21 bytes per id. Why this is ours: std::unordered_set takes over 50
// bytes per id, and the registry keeps one set per scene for the whole
// session, which may see hundreds of thousands of objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "detect/open_addressing.h"
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
    return slots_.SlotCount() != 0 && slots_[Find(id)] == Word(id);
  }
  // Starts loading the slot where contains(id) looks first, for a lookup a
  // little later.
  void prefetch(ObjectId id) const { slots_.Prefetch(Hash(id)); }
  std::size_t size() const { return size_; }
  // The slots, free or taken: the set's memory is bucket_count() ids.
  std::size_t bucket_count() const { return slots_.SlotCount(); }
  bool empty() const { return size_ == 0; }
  // Also gives the memory back.
  void clear();
  // Room for `count` ids in all, so that adding them does not move the rest.
  void reserve(std::size_t count);

  // In no particular order; invalidated by insert and reserve.
  const_iterator begin() const;
  const_iterator end() const { return const_iterator(this, Stored(slots_.end())); }

  // The same ids, whatever the order they were added in.
  friend bool operator==(const ObjectIdSet& a, const ObjectIdSet& b);

 private:
  // The id a free slot holds; when it is itself in the set, a flag says so
  // instead of a slot.
  static constexpr ObjectId kFreeSlot = 0;

  static std::uint64_t Word(ObjectId id) { return static_cast<std::uint64_t>(id); }
  // Folding the high half in first spreads ids that differ only there.
  static std::uint64_t Hash(ObjectId id) { return Word(id) ^ (Word(id) >> 32); }
  std::size_t Find(ObjectId id) const {
    return slots_.Find(Hash(id), [id](std::uint64_t word) { return word == Word(id); });
  }
  // A slot's word as the id it holds (the signed and unsigned forms of one
  // integer type may alias).
  static const ObjectId* Stored(const std::uint64_t* slot) {
    return reinterpret_cast<const ObjectId*>(slot);
  }
  void Rehash(std::size_t capacity);
  const ObjectId* NextStored(const ObjectId* at) const;
  void Take(ObjectIdSet& other);

  OpenAddressing slots_;
  std::size_t size_ = 0;  // the ids in slots_, and the free-slot id if held
  bool holdsFreeSlotId_ = false;
  ObjectId freeSlotId_ = kFreeSlot;  // what the iterator shows for that id
};

}  // namespace velmora
