// Loading and saving PluginSettings through the platform's profile functions.
#include "settings/settings.h"

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "plugin/decimal_text.h"

namespace velmora {
namespace {

PluginSettings g_Settings = kDefaultSettings;
std::wstring g_SettingsPath;

int ReadInt(const std::wstring& path, const wchar_t* key, int fallback) {
  // The profile function answers UINT; the cast gives back the signed value
  // written in the file (-5 reads as -5).
  return static_cast<int>(GetPrivateProfileIntW(kSettingsSection, key, fallback, path.c_str()));
}

void WriteValue(const std::wstring& path, const wchar_t* key, const std::wstring& value) {
  WritePrivateProfileStringW(kSettingsSection, key, value.c_str(), path.c_str());
}

}  // namespace

PluginSettings& Settings() { return g_Settings; }
const std::wstring& SettingsPath() { return g_SettingsPath; }

std::wstring ModuleFilePath(HINSTANCE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(path.size());
    DWORD n = GetModuleFileNameW(module, path.data(), size);
    if (n == 0) return std::wstring();
    // A full buffer means the name may have been cut; try again with more room.
    if (n < size) {
      path.resize(n);
      return path;
    }
    if (size >= 32768 * 2) return std::wstring();
    path.resize(size * 2);
  }
}

std::wstring SettingsPathForModule(const std::wstring& modulePath) {
  std::size_t dot = modulePath.rfind(L'.');
  std::size_t slash = modulePath.find_last_of(L"\\/");
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
    return modulePath + L".ini";
  }
  return modulePath.substr(0, dot) + L".ini";
}

std::wstring LegacySettingsPathFor(const std::wstring& settingsPath) {
  std::size_t slash = settingsPath.rfind(L'\\');
  if (slash == std::wstring::npos) return std::wstring();
  return settingsPath.substr(0, slash + 1) + kLegacySettingsName;
}

double ParseSeconds(const wchar_t* text) {
  // Only ASCII can be part of a number; anything else ends it.
  std::string narrow;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    narrow.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x7f');
  }
  return std::strtod(narrow.c_str(), nullptr);
}

bool IsValidSeconds(double seconds) { return seconds > 0.0 && std::isfinite(seconds); }

std::wstring FormatSeconds(double seconds) {
  std::string text = GeneralText(seconds, 6);
  return std::wstring(text.begin(), text.end());
}

PluginSettings ReadSettingsFile(const std::wstring& path) {
  PluginSettings s = kDefaultSettings;
  s.Auto = ReadInt(path, L"Auto", 1) != 0;
  s.Enabled = ReadInt(path, L"Enabled", 1) != 0;
  s.Unit = ReadInt(path, L"Unit", 0) == 1 ? 1 : 0;

  wchar_t text[64] = {};
  GetPrivateProfileStringW(kSettingsSection, L"Seconds", L"3", text, 64, path.c_str());
  double seconds = ParseSeconds(text);
  s.Seconds = IsValidSeconds(seconds) ? seconds : kDefaultSettings.Seconds;

  int frames = ReadInt(path, L"Frames", 90);
  s.Frames = frames > 0 ? frames : kDefaultSettings.Frames;
  unsigned fit = static_cast<unsigned>(ReadInt(path, L"Fit", 1));
  s.Fit = fit <= 4 ? static_cast<int>(fit) : kDefaultSettings.Fit;
  unsigned align = static_cast<unsigned>(ReadInt(path, L"Align", 4));
  s.Align = align <= 8 ? static_cast<int>(align) : kDefaultSettings.Align;
  return s;
}

void WriteSettingsFile(const std::wstring& path, const PluginSettings& s) {
  WriteValue(path, L"Auto", s.Auto ? L"1" : L"0");
  WriteValue(path, L"Enabled", s.Enabled ? L"1" : L"0");
  WriteValue(path, L"Unit", s.Unit == 1 ? L"1" : L"0");
  WriteValue(path, L"Seconds", FormatSeconds(s.Seconds));
  WriteValue(path, L"Frames", std::to_wstring(s.Frames));
  WriteValue(path, L"Fit", std::to_wstring(s.Fit));
  WriteValue(path, L"Align", std::to_wstring(s.Align));
}

void LoadSettings(HINSTANCE module) {
  g_SettingsPath = SettingsPathForModule(ModuleFilePath(module));
  if (GetFileAttributesW(g_SettingsPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::wstring legacy = LegacySettingsPathFor(g_SettingsPath);
    if (!legacy.empty()) CopyFileW(legacy.c_str(), g_SettingsPath.c_str(), TRUE);
  }
  g_Settings = ReadSettingsFile(g_SettingsPath);
}

void SaveSettings() { WriteSettingsFile(g_SettingsPath, g_Settings); }

}  // namespace velmora
