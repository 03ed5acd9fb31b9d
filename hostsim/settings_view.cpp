#include "hostsim/settings_view.h"

#include <windows.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>

#include "hostsim/host.h"

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

// A key's text as the profile functions hand it out, as much of it as the
// plug-in reads: as shown (UTF-8), and as a number is read from it (only
// ASCII can be part of one).
struct KeyText {
  std::string Shown;
  std::string Number;
  bool Cut = false;  // the plug-in's field is full: the rest went unread
};

std::optional<KeyText> ReadKeyText(const std::wstring& path, const wchar_t* key) {
  wchar_t text[64] = {};
  GetPrivateProfileStringW(L"Setting", key, L"\n", text, 64, path.c_str());
  if (std::wstring(text) == L"\n") return std::nullopt;
  KeyText k{Utf8(text), "", std::wcslen(text) >= 63};
  for (const wchar_t* p = text; *p != L'\0'; ++p)
    k.Number.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x7f');
  return k;
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
  // from_chars would take a second sign.
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc() && end == text.data() + text.size() &&
         (negative ? -value : value) == read;
}

// The leading decimal number of the text, as the standard conversion reads
// it; 3 when there is none, or when it is not a usable length. `whole`: all
// of the text read.
double ReadSeconds(const std::optional<KeyText>& text, bool& whole) {
  const char* start = text ? text->Number.c_str() : "3";
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
  const auto note = [&](const wchar_t* key, const KeyText& written, const std::string& used) {
    text.NotAsWritten += (text.NotAsWritten.empty() ? "" : ", ") + Utf8(key) + "=" + written.Shown +
                         " \xE2\x86\x92 " + used;
  };
  // Each key: the value read, the value used (an on or off as 1 or 0), and a
  // note when the file's text is not taken as written.
  const auto take = [&](const wchar_t* key, int fallback, auto accepted, bool onOff = false) {
    const int read = ReadInt(path, key, fallback);
    const int used = accepted(read) ? read : fallback;
    const std::optional<KeyText> written = ReadKeyText(path, key);
    if (written && (written->Cut || !WrittenAs(written->Number, read) || !accepted(read)))
      note(key, *written, std::to_string(onOff ? used != 0 : used));
    return used;
  };
  const auto any = [](int) { return true; };
  const bool automatic = take(L"Auto", 1, any, true) != 0;
  const bool lengthOn = take(L"Enabled", 1, any, true) != 0;
  const int unit = take(L"Unit", 0, [](int v) { return v == 0 || v == 1; });
  const std::optional<KeyText> secondsText = ReadKeyText(path, L"Seconds");
  bool whole = false;
  const double seconds = ReadSeconds(secondsText, whole);
  // A value it does not use reads otherwise than the 3 it is replaced by.
  if (secondsText &&
      (secondsText->Cut || !whole || seconds != std::strtod(secondsText->Number.c_str(), nullptr)))
    note(L"Seconds", *secondsText, GeneralNumber(seconds));
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
