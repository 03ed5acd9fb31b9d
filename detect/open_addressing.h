// The slots of a hash table with open addressing and linear probing: one
// flat array of 64-bit words, a power of two of them, 0 marking a free one.
// An entry's home slot is picked by the top bits of its hash times 2^64/φ
// (Fibonacci hashing), which spreads hashes that differ only in a few bits;
// a probe walks on from there to the entry or to the first free slot. The
// table that keeps the words decides what a word means and when to grow.
//
// Why this is ours: std::unordered_set keeps one node per entry, over 50
// bytes an id with its bucket, where a slot here is 8 bytes; a scan looks up
// every object's id and a session may know hundreds of thousands of them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>
#include <xmmintrin.h>

namespace velmora {

class OpenAddressing {
 public:
  // `count` free slots: a power of two, at least 2, or 0 for none.
  void Reset(std::size_t count) {
    words_.assign(count, 0);
    shift_ = 64 - std::countr_zero(count);
  }
  std::size_t SlotCount() const { return words_.size(); }

  // The slot holding a word that holds(word) accepts, or else the free slot
  // where such a word would go; the probe starts at the home of `hash`. The
  // table must have a free slot.
  template <typename Holds>
  std::size_t Find(std::uint64_t hash, Holds&& holds) const {
    const std::size_t mask = words_.size() - 1;
    std::size_t at = Home(hash);
    while (words_[at] != 0 && !holds(words_[at]))
      at = (at + 1) & mask;
    return at;
  }
  // Starts loading the home slot of `hash`, for a Find a little later: a
  // large table's slots are mostly not in the cache. The x64 intrinsic,
  // which GCC, Clang and MSVC all know.
  void Prefetch(std::uint64_t hash) const {
    if (!words_.empty())
      _mm_prefetch(reinterpret_cast<const char*>(&words_[Home(hash)]), _MM_HINT_T0);
  }

  std::uint64_t& operator[](std::size_t at) { return words_[at]; }
  std::uint64_t operator[](std::size_t at) const { return words_[at]; }
  const std::uint64_t* begin() const { return words_.data(); }
  const std::uint64_t* end() const { return words_.data() + words_.size(); }

 private:
  std::size_t Home(std::uint64_t hash) const {
    return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  std::vector<std::uint64_t> words_;
  int shift_ = 64;  // 64 less log2 of the slot count
};

}  // namespace velmora
