// Loading and saving PluginSettings through the platform's profile functions.
#include "settings/settings.h"

#include <cmath>
#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/host/decimal_text.h"
#include "plugin/host/host_log.h"
#include "plugin/host/host_state.h"

namespace velmora {
namespace {

int ReadInt(const std::wstring& path, const wchar_t* key, int fallback) {
  // The profile function answers UINT; the cast gives back the signed value
  // written in the file (-5 reads as -5).
  return static_cast<int>(GetPrivateProfileIntW(kSettingsSection, key, fallback, path.c_str()));
}

constexpr std::size_t kLongestText = 63;  // what the dialog's field holds, too

constexpr const wchar_t* kAnchorNames[kAnchorCount] = {
    L"左上", L"上", L"右上", L"左", L"中央", L"右", L"左下", L"下", L"右下",
};

// The whole text as an integer: a sign, then decimal digits, or 0x, 0o or 0b
// and digits of that base; nothing when any of it is not, or it overflows.
std::optional<std::int64_t> WholeInteger(std::wstring_view text) {
  const bool negative = !text.empty() && text[0] == L'-';
  if (!text.empty() && (text[0] == L'+' || negative)) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == L'0') {
    const wchar_t mark = text[1] | 0x20;
    base = mark == L'x' ? 16 : mark == L'o' ? 8 : mark == L'b' ? 2 : 10;
    if (base != 10) text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const wchar_t c : text) {
    const int lower = c | 0x20;
    const int digit = c >= L'0' && c <= L'9'         ? c - L'0'
                      : lower >= 'a' && lower <= 'f' ? lower - 'a' + 10
                                                     : base;  // no digit of this base
    if (digit >= base || value > (INT64_MAX - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return negative ? -value : value;
}

// The keys of one file, each read as the platform reads it; a key whose text
// was not taken as written is noted, with the value used instead.
class KeyReader {
 public:
  KeyReader(const std::wstring& path, std::vector<std::wstring>* untaken)
      : path_(path), untaken_(untaken) {}

  // The key's integer, `fallback` without the key or when `accepted` refuses
  // it; `describe` words the value used.
  template <typename Accepted, typename Describe>
  int Integer(const wchar_t* key, int fallback, Accepted accepted, Describe describe) {
    const int read = ReadInt(path_, key, fallback);
    const int value = accepted(read) ? read : fallback;
    const std::optional<std::wstring> text = Text(key);
    if (text && (Cut(*text) || WholeInteger(*text) != read || !accepted(read)))
      Note(key, *text, describe(value));
    return value;
  }

  double Seconds() {
    const std::optional<std::wstring> text = Text(L"Seconds");
    if (!text) return kDefaultSettings.Seconds;
    bool whole = false;
    const double read = ParseSeconds(text->c_str(), &whole);
    const double value = IsValidSeconds(read) ? read : kDefaultSettings.Seconds;
    if (Cut(*text) || !whole || !IsValidSeconds(read))
      Note(L"Seconds", *text, FormatSeconds(value));
    return value;
  }

 private:
  // The key's text as the platform hands it out, as much as the dialog's
  // field holds; nothing without the key (no value holds a line break).
  std::optional<std::wstring> Text(const wchar_t* key) const {
    wchar_t text[kLongestText + 1] = {};
    GetPrivateProfileStringW(kSettingsSection, key, L"\n", text, kLongestText + 1, path_.c_str());
    if (std::wstring_view(text) == L"\n") return std::nullopt;
    return std::wstring(text);
  }
  // As long as the field holds: what follows, if anything, was not read.
  static bool Cut(const std::wstring& text) { return text.size() >= kLongestText; }
  void Note(const wchar_t* key, const std::wstring& text, const std::wstring& used) {
    if (untaken_ == nullptr) return;
    // No blank after a closing bracket, as after a number.
    untaken_->push_back(L"設定ファイル " + path_ + L" の " + key + L"=" + text +
                        L" はそのまま使えないため、" + used + (used.ends_with(L"）") ? L"" : L" ") +
                        L"を使います");
  }

  const std::wstring& path_;
  std::vector<std::wstring>* untaken_;
};

std::wstring Named(int value, const wchar_t* name) {
  return std::to_wstring(value) + L"（" + name + L"）";
}
std::wstring OnOff(int on) { return Named(on != 0 ? 1 : 0, on != 0 ? L"オン" : L"オフ"); }

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

double ParseSeconds(const wchar_t* text, bool* whole) {
  // Only ASCII can be part of a number; anything else ends it.
  std::string narrow;
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    narrow.push_back(*p < 0x80 ? static_cast<char>(*p) : '\x7f');
  }
  const char* end = nullptr;
  const double value = DecimalValue(narrow.c_str(), &end);
  if (whole != nullptr) *whole = !narrow.empty() && *end == '\0';
  return value;
}

bool IsValidSeconds(double seconds) { return seconds > 0.0 && std::isfinite(seconds); }

std::wstring FormatSeconds(double seconds) {
  std::string text = GeneralText(seconds, 6);
  return std::wstring(text.begin(), text.end());
}

PluginSettings ReadSettingsFile(const std::wstring& path, std::vector<std::wstring>* untaken) {
  const PluginSettings& d = kDefaultSettings;
  KeyReader keys(path, untaken);
  const auto any = [](int) { return true; };
  const auto unit = [](int v) { return v == kUnitSeconds || v == kUnitFrames; };
  const auto frames = [](int v) { return v > 0; };
  const auto fit = [](int v) { return v >= 0 && v < kSizeModeCount; };
  const auto align = [](int v) { return v >= 0 && v < kAnchorCount; };
  PluginSettings s = d;
  s.Auto = keys.Integer(L"Auto", d.Auto ? 1 : 0, any, OnOff) != 0;
  s.Enabled = keys.Integer(L"Enabled", d.Enabled ? 1 : 0, any, OnOff) != 0;
  s.Unit = keys.Integer(L"Unit", d.Unit, unit,
                        [](int v) { return Named(v, v == kUnitFrames ? L"フレーム" : L"秒"); });
  s.Seconds = keys.Seconds();
  s.Frames = keys.Integer(L"Frames", d.Frames, frames, [](int v) { return std::to_wstring(v); });
  s.Fit = keys.Integer(L"Fit", d.Fit, fit, [](int v) { return Named(v, kSizeModeNames[v]); });
  s.Align = keys.Integer(L"Align", d.Align, align, [](int v) { return Named(v, kAnchorNames[v]); });
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

SettingsNotes LoadSettings() {
  SettingsNotes notes;
  if (state::SettingsLoaded) return notes;
  const std::wstring path = SettingsFilePath();
  if (path.empty()) {
    state::Settings = kDefaultSettings;
    state::SettingsLoaded = true;
    return notes;
  }
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::wstring legacy = LegacySettingsPathFor(path);
    if (!legacy.empty() && CopyFileW(legacy.c_str(), path.c_str(), TRUE)) {
      notes.Copied = L"以前のリリースの設定ファイル " + legacy + L" を " + path +
                     L" にコピーして読み込みました";
    }
  }
  state::Settings = ReadSettingsFile(path, &notes.Untaken);
  // Only now: a read that failed (out of memory) leaves the built-in values,
  // which a dialog must not write over a file it never read.
  state::SettingsLoaded = true;
  return notes;
}

void LogSettingsNotes(const Lifetime& of, const SettingsNotes& notes) {
  if (!notes.Copied.empty()) LogInfo(of, notes.Copied.c_str());
  for (const std::wstring& line : notes.Untaken)
    LogWarn(of, line.c_str());
}

bool SaveSettings() {
  const std::wstring path = SettingsFilePath();
  return !path.empty() && WriteSettingsFile(path, state::Settings);
}

}  // namespace velmora
