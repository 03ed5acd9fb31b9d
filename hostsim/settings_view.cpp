#include "hostsim/settings_view.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

// The leading decimal number of the text, as the standard conversion reads
// it; 3 when there is none, or when it is not a usable length.
double ReadSeconds(const std::wstring& path) {
  wchar_t text[64] = {};
  GetPrivateProfileStringW(L"Setting", L"Seconds", L"3", text, 64, path.c_str());
  std::string narrow;
  for (const wchar_t* p = text; *p != L'\0'; ++p)
    narrow.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x7f');
  const double seconds = std::strtod(narrow.c_str(), nullptr);
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
  const bool automatic = ReadInt(path, L"Auto", 1) != 0;
  const bool lengthOn = ReadInt(path, L"Enabled", 1) != 0;
  const int unit = ReadInt(path, L"Unit", 0) == 1 ? 1 : 0;
  const double seconds = ReadSeconds(path);
  int frames = ReadInt(path, L"Frames", 90);
  if (frames <= 0) frames = 90;
  int fit = ReadInt(path, L"Fit", 1);
  if (fit < 0 || fit >= kFitCount) fit = 1;
  int align = ReadInt(path, L"Align", 4);
  if (align < 0 || align >= kAlignCount) align = 4;

  SettingsText text;
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
