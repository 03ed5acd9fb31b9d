// Conversions of the host's UTF-8 item texts.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Host UTF-8 text to UTF-16. Null, empty or unconvertible text gives an empty
// string; invalid sequences are replaced rather than rejected.
std::wstring WideFromUtf8(const char* text);
// UTF-16 to UTF-8, into `out` (whose memory is used again).
void Utf8FromWide(std::wstring_view text, std::string& out);

// Converted host texts kept side by side in a few large blocks, so that a
// survey of many objects makes a handful of allocations instead of one per
// text, and none once its blocks are there. Blocks never move: a view handed
// out stays valid until Clear or the arena's end.
class TextArena {
 public:
  // The same conversion as WideFromUtf8, kept in the arena; the view's
  // text is followed by a terminator.
  std::wstring_view AddWideFromUtf8(const char* text);
  // Forgets every text; the blocks stay for the next ones.
  void Clear();

 private:
  struct Block {
    std::unique_ptr<wchar_t[]> Units;
    std::size_t Capacity = 0;
  };

  // Room for `units` code units in the current block, or in a later one;
  // what a text takes of it is added to used_ afterwards.
  wchar_t* Room(std::size_t units);

  std::vector<Block> blocks_;
  std::size_t current_ = 0;  // the block texts go into; none past the last
  std::size_t used_ = 0;     // of the current block
};

}  // namespace velmora
