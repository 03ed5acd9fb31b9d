#include "plugin/host_text.h"

#include <windows.h>

namespace velmora {

std::wstring WideFromUtf8(const char* text) {
  if (text == nullptr) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  // 0 is a failed conversion, 1 an empty text (the terminator alone).
  if (length <= 1) return std::wstring();
  std::wstring out(static_cast<std::size_t>(length - 1), L'\0');
  // The string's buffer holds length - 1 units plus its own terminator, so the
  // full length fits.
  MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), length);
  return out;
}

}  // namespace velmora
