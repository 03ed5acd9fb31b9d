// Conversions of the host's UTF-8 item texts.
#pragma once

#include <string>

namespace velmora {

// Host UTF-8 text to UTF-16. Null, empty or unconvertible text gives an empty
// string; invalid sequences are replaced rather than rejected.
std::wstring WideFromUtf8(const char* text);

}  // namespace velmora
