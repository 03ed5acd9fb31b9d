#include "plugin/host/host_text.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace velmora {
namespace {

// Code units of the converted text with its terminator: 0 for a failed
// conversion, 1 for an empty text.
int ConvertedUnits(const char* text) {
  // The count of a text of INT_MAX bytes or more wraps around: no text then.
  if (text == nullptr || std::strlen(text) >= INT_MAX) return 0;
  return MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
}

// A text is what the conversion's count says, less the terminator. Under Wine
// a lead byte near the text's end that needs more bytes than follow it takes
// them and the terminator into one U+FFFD in the terminator's place, counted
// as the terminator, and no NUL follows; without one here the text would run
// on into whatever comes next.
void TerminateAtTheCount(wchar_t* converted, int length) { converted[length - 1] = L'\0'; }

}  // namespace

std::wstring WideFromUtf8(const char* text) {
  int length = ConvertedUnits(text);
  if (length <= 1) return std::wstring();
  std::wstring out(static_cast<std::size_t>(length - 1), L'\0');
  // The string's buffer holds length - 1 units plus its own terminator, so the
  // full length fits.
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), length);
  TerminateAtTheCount(out.data(), length);
  return out;
}

void Utf8FromWide(std::wstring_view text, std::string& out) {
  out.clear();
  if (text.empty() || text.size() > INT_MAX) return;
  const int units = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(bytes));
  WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
}

std::wstring_view TextArena::AddWideFromUtf8(const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring_view();
  // UTF-8 never converts to more UTF-16 units than it has bytes, so room for
  // the bytes and the terminator takes the conversion in one call; asking
  // for the length first would double its cost.
  const std::size_t bytes = std::strlen(text);
  int length = 0;
  wchar_t* at = nullptr;
  if (bytes < INT_MAX) {
    at = units_.Room(bytes + 1);
    length = MultiByteToWideChar(CP_UTF8, 0, text, -1, at, static_cast<int>(bytes + 1));
  }
  if (length == 0) {
    length = ConvertedUnits(text);
    if (length <= 1) return std::wstring_view();
    at = units_.Room(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, text, -1, at, length);
  }
  TerminateAtTheCount(at, length);
  units_.Take(static_cast<std::size_t>(length));
  return std::wstring_view(at, static_cast<std::size_t>(length - 1));
}

}  // namespace velmora
