#include "hostsim/settings_view.h"

#include <windows.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>

namespace hostsim {
namespace {

constexpr const char* kFitNames[] = {"size unchanged", "whole image inside", "cover the screen",
                                     "match the width", "match the height"};
constexpr const char* kAlignNames[] = {"top left",    "top",    "top right",
                                       "left",        "centre", "right",
                                       "bottom left", "bottom", "bottom right"};
constexpr int kFitCount = 5, kAlignCount = 9;

int ReadInt(const std::wstring& path, const wchar_t* key, int fallback) {
  return static_cast<int>(GetPrivateProfileIntW(L"Setting", key, fallback, path.c_str()));
}

// The key's text as the profile functions hand it out, as much of it as the
// plug-in reads; nothing without the key.
std::optional<std::string> KeyText(const std::wstring& path, const wchar_t* key) {
  wchar_t text[64] = {};
  GetPrivateProfileStringW(L"Setting", key, L"\n", text, 64, path.c_str());
  if (std::wstring(text) == L"\n") return std::nullopt;
  std::string narrow;  // only ASCII can be part of a number
  for (const wchar_t* p = text; *p != L'\0'; ++p)
    narrow.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x7f');
  return narrow;
}

// Whether all of `text` is the integer the platform read from it: a sign,
// then decimal digits, or 0x, 0o or 0b and digits of that base.
bool WrittenAs(std::string text, int read) {
  if (!text.empty() && text[0] == '+') text.erase(0, 1);
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.erase(0, 1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0') {
    const char mark = static_cast<char>(text[1] | 0x20);
    base = mark == 'x' ? 16 : mark == 'o' ? 8 : mark == 'b' ? 2 : 10;
    if (base != 10) text.erase(0, 2);
  }
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() &&
         (negative ? -value : value) == read;
}

// The leading decimal number of the text, as the standard conversion reads
// it; 3 when there is none, or when it is not a usable length. `whole`: all
// of the text read.
double ReadSeconds(const std::optional<std::string>& text, bool& whole) {
  const char* start = text ? text->c_str() : "3";
  char* end = nullptr;
  const double seconds = std::strtod(start, &end);
  whole = *start != '\0' && *end == '\0';
  return seconds > 0 && std::isfinite(seconds) ? seconds : 3.0;
}

std::string GeneralNumber(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

}  // namespace

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

SettingsText SettingsInEffect(const std::wstring& path) {
  SettingsText text;
  // Each key: the value read, the value used, and what is said when the
  // file's text is not taken as written.
  const auto take = [&](const wchar_t* key, int fallback, auto accepted) {
    const int read = ReadInt(path, key, fallback);
    const int used = accepted(read) ? read : fallback;
    const std::optional<std::string> written = KeyText(path, key);
    if (written && (!WrittenAs(*written, read) || !accepted(read))) {
      text.NotAsWritten += (text.NotAsWritten.empty() ? "" : ", ") +
                           std::string(key, key + std::wcslen(key)) + "=" + *written +
                           " \xE2\x86\x92 " + std::to_string(used);
    }
    return used;
  };
  const auto any = [](int) { return true; };
  const bool automatic = take(L"Auto", 1, any) != 0;
  const bool lengthOn = take(L"Enabled", 1, any) != 0;
  const int unit = take(L"Unit", 0, [](int v) { return v == 0 || v == 1; });
  const std::optional<std::string> secondsText = KeyText(path, L"Seconds");
  bool whole = false;
  const double seconds = ReadSeconds(secondsText, whole);
  // A value it does not use reads otherwise than the 3 it is replaced by.
  if (secondsText && (!whole || seconds != std::strtod(secondsText->c_str(), nullptr))) {
    text.NotAsWritten += (text.NotAsWritten.empty() ? "" : ", ") + std::string("Seconds=") +
                         *secondsText + " \xE2\x86\x92 " + GeneralNumber(seconds);
  }
  const int frames = take(L"Frames", 90, [](int v) { return v > 0; });
  const int fit = take(L"Fit", 1, [](int v) { return v >= 0 && v < kFitCount; });
  const int align = take(L"Align", 4, [](int v) { return v >= 0 && v < kAlignCount; });

  text.Keys = "Auto=" + std::to_string(automatic ? 1 : 0) +
              " Enabled=" + std::to_string(lengthOn ? 1 : 0) + " Unit=" + std::to_string(unit) +
              " Seconds=" + GeneralNumber(seconds) + " Frames=" + std::to_string(frames) +
              " Fit=" + std::to_string(fit) + " Align=" + std::to_string(align);
  text.Meaning = std::string(automatic ? "automatic" : "not automatic") + ", " +
                 (!lengthOn   ? std::string("length unchanged")
                  : unit == 1 ? std::to_string(frames) + " frames"
                              : GeneralNumber(seconds) + " s") +
                 ", " + kFitNames[fit];
  if (fit != 0) text.Meaning += std::string(", ") + kAlignNames[align];
  return text;
}

}  // namespace hostsim
