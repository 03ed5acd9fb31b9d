// Loading and saving PluginSettings through the platform's profile functions.
#include "settings/settings.h"

#include <cmath>
#include <cwchar>
#include <string>

#include "plugin/host/decimal_text.h"
#include "plugin/host/host_state.h"

namespace velmora {
namespace {

int ReadInt(const std::wstring& path, const wchar_t* key, int fallback) {
  // The profile function answers UINT; the cast gives back the signed value
  // written in the file (-5 reads as -5).
  return static_cast<int>(GetPrivateProfileIntW(kSettingsSection, key, fallback, path.c_str()));
}

// `value` when it is one of 0..count - 1, `fallback` otherwise.
std::int32_t OneOf(int value, std::int32_t count, std::int32_t fallback) {
  return value >= 0 && value < count ? value : fallback;
}

bool WriteValue(const std::wstring& path, const wchar_t* key, const std::wstring& value) {
  return WritePrivateProfileStringW(kSettingsSection, key, value.c_str(), path.c_str()) != 0;
}

}  // namespace

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
    path.resize(static_cast<std::size_t>(size) * 2);
  }
}

std::wstring SettingsPathForModule(const std::wstring& modulePath) {
  // "" + ".ini" would name a file the platform looks for in folders of its own.
  if (modulePath.empty()) return std::wstring();
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
  const char* end = nullptr;
  return DecimalValue(narrow.c_str(), &end);
}

bool IsValidSeconds(double seconds) { return seconds > 0.0 && std::isfinite(seconds); }

std::wstring FormatSeconds(double seconds) {
  std::string text = GeneralText(seconds, 6);
  return std::wstring(text.begin(), text.end());
}

PluginSettings ReadSettingsFile(const std::wstring& path) {
  const PluginSettings& d = kDefaultSettings;
  PluginSettings s = d;
  s.Auto = ReadInt(path, L"Auto", d.Auto ? 1 : 0) != 0;
  s.Enabled = ReadInt(path, L"Enabled", d.Enabled ? 1 : 0) != 0;
  s.Unit = ReadInt(path, L"Unit", d.Unit) == kUnitFrames ? kUnitFrames : kUnitSeconds;

  wchar_t text[64] = {};
  GetPrivateProfileStringW(kSettingsSection, L"Seconds", FormatSeconds(d.Seconds).c_str(), text, 64,
                           path.c_str());
  const double seconds = ParseSeconds(text);
  s.Seconds = IsValidSeconds(seconds) ? seconds : d.Seconds;

  const int frames = ReadInt(path, L"Frames", d.Frames);
  s.Frames = frames > 0 ? frames : d.Frames;
  s.Fit = OneOf(ReadInt(path, L"Fit", d.Fit), kSizeModeCount, d.Fit);
  s.Align = OneOf(ReadInt(path, L"Align", d.Align), kAnchorCount, d.Align);
  return s;
}

bool WriteSettingsFile(const std::wstring& path, const PluginSettings& s) {
  // Every key is tried, so that one refused write does not cost the others.
  bool written = WriteValue(path, L"Auto", s.Auto ? L"1" : L"0");
  written &= WriteValue(path, L"Enabled", s.Enabled ? L"1" : L"0");
  written &= WriteValue(path, L"Unit", s.Unit == kUnitFrames ? L"1" : L"0");
  written &= WriteValue(path, L"Seconds", FormatSeconds(s.Seconds));
  written &= WriteValue(path, L"Frames", std::to_wstring(s.Frames));
  written &= WriteValue(path, L"Fit", std::to_wstring(s.Fit));
  written &= WriteValue(path, L"Align", std::to_wstring(s.Align));
  return written;
}

std::wstring SettingsFilePath() {
  return SettingsPathForModule(ModuleFilePath(state::ModuleInstance));
}

void LoadSettingsOnce() {
  if (!state::SettingsLoaded) LoadSettings();
}

void LoadSettings() {
  state::SettingsLoaded = true;
  const std::wstring path = SettingsFilePath();
  if (path.empty()) {
    state::Settings = kDefaultSettings;
    return;
  }
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::wstring legacy = LegacySettingsPathFor(path);
    if (!legacy.empty()) CopyFileW(legacy.c_str(), path.c_str(), TRUE);
  }
  state::Settings = ReadSettingsFile(path);
}

bool SaveSettings() {
  const std::wstring path = SettingsFilePath();
  return !path.empty() && WriteSettingsFile(path, state::Settings);
}

}  // namespace velmora
