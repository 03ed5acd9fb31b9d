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

// Converted host texts kept side by side in a few large blocks, so that a
// survey of many objects makes a handful of allocations instead of one per
// text. Blocks never move: a view handed out stays valid until Clear or the
// arena's end.
class TextArena {
 public:
  // The same conversion as WideFromUtf8, kept in the arena; the view's
  // text is followed by a terminator.
  std::wstring_view AddWideFromUtf8(const char* text);
  // Forgets every text; the first block stays for the next ones.
  void Clear();

 private:
  // Room for `units` code units in the last block, or in a new one.
  wchar_t* Room(std::size_t units);

  std::vector<std::unique_ptr<wchar_t[]>> blocks_;
  std::size_t capacity_ = 0;  // of the last block, in code units
  std::size_t used_ = 0;      // of the last block
  std::size_t firstCapacity_ = 0;
};

}  // namespace velmora
