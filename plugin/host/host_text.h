// Conversions of the host's UTF-8 item texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "plugin/host/block_arena.h"

namespace velmora {

// Host UTF-8 text to UTF-16. Null, empty or unconvertible text gives an empty
// string; invalid sequences are replaced rather than rejected.
std::wstring WideFromUtf8(const char* text);
// UTF-16 to UTF-8, into `out` (whose memory is used again).
void Utf8FromWide(std::wstring_view text, std::string& out);

// Converted host texts kept side by side in an arena (block_arena.h). Why
// this is ours: a std::wstring per text is an allocation each, and a survey
// of many objects converts thousands; here it makes a handful, and none once
// its blocks are there. A view handed out stays valid until Clear or the
// arena's end.
class TextArena {
 public:
  // The same conversion as WideFromUtf8, kept in the arena; the view's
  // text is followed by a terminator.
  std::wstring_view AddWideFromUtf8(const char* text);
  // Forgets every text; the blocks stay for the next ones.
  void Clear() { units_.Clear(); }

 private:
  // Blocks double from 1 KB, so that a few texts take little, up to 32 KB.
  BlockArena<wchar_t> units_{512, std::size_t{16} * 1024};
};

}  // namespace velmora
