// An arena (region) allocator: many small pieces side by side in a few
// blocks, each piece contiguous, none ever moved, all let go of at once.
//
// Why this is ours: a scan keeps thousands of short texts for as long as it
// runs, and a block of its own per text would cost an allocation and a
// header each; the survey also reads its pieces back in the order they were
// written, block by block. std::pmr::monotonic_buffer_resource comes close,
// but it has no cap on how its blocks grow (the largest here stay below the
// size the heap hands to VirtualAlloc), cannot be emptied and used again
// without giving its blocks back, and cannot be read back.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace velmora {

template <typename T>
class BlockArena {
 public:
  // Blocks double from `firstBlock` elements up to `largestBlock`: a few
  // pieces take little, many take a handful of blocks.
  BlockArena(std::size_t firstBlock, std::size_t largestBlock)
      : first_(firstBlock), largest_(largestBlock) {}

  // Room for a piece of `count` elements, at the end of the current block or
  // in the next one (a piece longer than a block gets a block of its own).
  // What the piece takes of it is told to Take afterwards.
  T* Room(std::size_t count) {
    while (current_ < blocks_.size() && blocks_[current_].Capacity - blocks_[current_].Used < count)
      ++current_;
    if (current_ == blocks_.size()) {
      const std::size_t next =
          blocks_.empty() ? first_ : std::min(2 * blocks_.back().Capacity, largest_);
      const std::size_t capacity = std::max(next, count);
      blocks_.push_back(Block{std::make_unique_for_overwrite<T[]>(capacity), capacity, 0});
    }
    return blocks_[current_].Data.get() + blocks_[current_].Used;
  }
  // Of the room last asked for, `count` elements now hold a piece.
  void Take(std::size_t count) { blocks_[current_].Used += count; }

  // Forgets every piece; the blocks stay for the next ones.
  void Clear() {
    for (Block& block : blocks_)
      block.Used = 0;
    current_ = 0;
  }

  // Calls visit(elements, count) for each block's pieces, in order.
  template <typename Visit>
  void ForEachBlock(Visit&& visit) const {
    for (const Block& block : blocks_)
      visit(static_cast<const T*>(block.Data.get()), block.Used);
  }

 private:
  struct Block {
    std::unique_ptr<T[]> Data;
    std::size_t Capacity = 0;
    std::size_t Used = 0;
  };

  std::vector<Block> blocks_;
  std::size_t current_ = 0;  // pieces go here; blocks after it are empty
  std::size_t first_;
  std::size_t largest_;
};

}  // namespace velmora
