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
  if (!slots_.empty()) {
    slot = Probe(id);
    if (slots_[slot] == id) return false;
  }
  std::size_t stored = size_ - (holdsFreeSlotId_ ? 1 : 0);
  if (!FitsIn(stored + 1, slots_.size())) {
    Rehash(slots_.empty() ? kFewestSlots : slots_.size() * 2);
    slot = Probe(id);
  }
  slots_[slot] = id;
  ++size_;
  return true;
}

void ObjectIdSet::clear() {
  std::vector<ObjectId>().swap(slots_);
  shift_ = 64;
  size_ = 0;
  holdsFreeSlotId_ = false;
}

void ObjectIdSet::reserve(std::size_t count) {
  std::size_t slots = kFewestSlots;
  while (!FitsIn(count, slots))
    slots *= 2;
  if (slots > slots_.size()) Rehash(slots);
}

void ObjectIdSet::Rehash(std::size_t capacity) {
  std::vector<ObjectId> previous = std::move(slots_);
  slots_.assign(capacity, kFreeSlot);
  shift_ = 64;
  for (std::size_t n = capacity; n > 1; n /= 2)
    --shift_;
  for (ObjectId id : previous) {
    if (id != kFreeSlot) slots_[Probe(id)] = id;
  }
}

ObjectIdSet::const_iterator ObjectIdSet::begin() const {
  if (holdsFreeSlotId_) return const_iterator(this, &freeSlotId_);
  return const_iterator(this, NextStored(nullptr));
}

const ObjectId* ObjectIdSet::NextStored(const ObjectId* at) const {
  const ObjectId* end = slots_.data() + slots_.size();
  const ObjectId* next = at == nullptr || at == &freeSlotId_ ? slots_.data() : at + 1;
  while (next != end && *next == kFreeSlot)
    ++next;
  return next;
}

void ObjectIdSet::Take(ObjectIdSet& other) {
  slots_ = std::move(other.slots_);
  shift_ = std::exchange(other.shift_, 64);
  size_ = std::exchange(other.size_, 0);
  holdsFreeSlotId_ = std::exchange(other.holdsFreeSlotId_, false);
  other.slots_.clear();
}

bool operator==(const ObjectIdSet& a, const ObjectIdSet& b) {
  if (a.size() != b.size()) return false;
  for (ObjectId id : a) {
    if (!b.contains(id)) return false;
  }
  return true;
}

}  // namespace velmora
