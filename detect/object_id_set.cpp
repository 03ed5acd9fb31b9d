// The slots hold at most three ids in four, so that a probe seldom walks far;
// doubling at that point leaves them at least three in eight full.
#include "detect/object_id_set.h"

#include <cstdint>
#include <utility>

namespace velmora {
namespace {

constexpr std::size_t kFewestSlots = 16;

bool FitsIn(std::size_t ids, std::size_t slots) { return ids * 4 <= slots * 3; }

}  // namespace

bool ObjectIdSet::insert(ObjectId id) {
  if (id == kFreeSlot) {
    if (holdsFreeSlotId_) return false;
    holdsFreeSlotId_ = true;
    ++size_;
    return true;
  }
  std::size_t slot = 0;
  if (slots_.SlotCount() != 0) {
    slot = Find(id);
    if (slots_[slot] == Word(id)) return false;
  }
  const std::size_t stored = size_ - (holdsFreeSlotId_ ? 1 : 0);
  if (!FitsIn(stored + 1, slots_.SlotCount())) {
    Rehash(slots_.SlotCount() == 0 ? kFewestSlots : slots_.SlotCount() * 2);
    slot = Find(id);
  }
  slots_[slot] = Word(id);
  ++size_;
  return true;
}

void ObjectIdSet::clear() {
  slots_ = OpenAddressing();
  size_ = 0;
  holdsFreeSlotId_ = false;
}

void ObjectIdSet::reserve(std::size_t count) {
  std::size_t slots = kFewestSlots;
  while (!FitsIn(count, slots))
    slots *= 2;
  if (slots > slots_.SlotCount()) Rehash(slots);
}

void ObjectIdSet::Rehash(std::size_t capacity) {
  OpenAddressing previous = std::move(slots_);
  slots_.Reset(capacity);
  for (std::uint64_t word : previous) {
    if (word != 0) slots_[Find(static_cast<ObjectId>(word))] = word;
  }
}

ObjectIdSet::const_iterator ObjectIdSet::begin() const {
  if (holdsFreeSlotId_) return const_iterator(this, &freeSlotId_);
  return const_iterator(this, NextStored(nullptr));
}

const ObjectId* ObjectIdSet::NextStored(const ObjectId* at) const {
  const ObjectId* end = Stored(slots_.end());
  const ObjectId* next = at == nullptr || at == &freeSlotId_ ? Stored(slots_.begin()) : at + 1;
  while (next != end && *next == kFreeSlot)
    ++next;
  return next;
}

void ObjectIdSet::Take(ObjectIdSet& other) {
  slots_ = std::exchange(other.slots_, OpenAddressing());
  size_ = std::exchange(other.size_, 0);
  holdsFreeSlotId_ = std::exchange(other.holdsFreeSlotId_, false);
}

bool operator==(const ObjectIdSet& a, const ObjectIdSet& b) {
  if (a.size() != b.size()) return false;
  for (ObjectId id : a) {
    if (!b.contains(id)) return false;
  }
  return true;
}

}  // namespace velmora
