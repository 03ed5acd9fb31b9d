#include "plugin/host_text.h"

#include <windows.h>

#include <algorithm>

namespace velmora {
namespace {

// 32 KB: far below what the heap hands to VirtualAlloc, so that a block
// freed by one scan is reused by the next without new pages.
constexpr std::size_t kBlockUnits = 16 * 1024;

// Code units of the converted text with its terminator: 0 for a failed
// conversion, 1 for an empty text.
int ConvertedUnits(const char* text) {
  return text == nullptr ? 0 : MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
}

}  // namespace

std::wstring WideFromUtf8(const char* text) {
  int length = ConvertedUnits(text);
  if (length <= 1) return std::wstring();
  std::wstring out(static_cast<std::size_t>(length - 1), L'\0');
  // The string's buffer holds length - 1 units plus its own terminator, so the
  // full length fits.
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), length);
  return out;
}

std::wstring_view TextArena::AddWideFromUtf8(const char* text) {
  int length = ConvertedUnits(text);
  if (length <= 1) return std::wstring_view();
  wchar_t* at = Room(static_cast<std::size_t>(length));
  MultiByteToWideChar(CP_UTF8, 0, text, -1, at, length);
  return std::wstring_view(at, static_cast<std::size_t>(length - 1));
}

wchar_t* TextArena::Room(std::size_t units) {
  if (blocks_.empty() || capacity_ - used_ < units) {
    // A text longer than a block gets one of its own.
    capacity_ = std::max(kBlockUnits, units);
    blocks_.push_back(std::make_unique_for_overwrite<wchar_t[]>(capacity_));
    if (blocks_.size() == 1) firstCapacity_ = capacity_;
    used_ = 0;
  }
  wchar_t* at = blocks_.back().get() + used_;
  used_ += units;
  return at;
}

void TextArena::Clear() {
  if (blocks_.size() > 1) blocks_.resize(1);
  capacity_ = firstCapacity_;
  used_ = 0;
}

}  // namespace velmora
