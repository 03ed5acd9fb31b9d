// The user's choices, their INI file beside the module, and the number
// conversions shared by the file and the settings dialog.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "plugin/host/lifetime.h"

namespace velmora {

// Values of PluginSettings::Unit. Any value but kUnitFrames reads as seconds.
enum LengthUnit : std::int32_t { kUnitSeconds = 0, kUnitFrames = 1 };

// Values of PluginSettings::Fit: how the zoom is chosen.
enum SizeMode : std::int32_t {
  kFitKeepSize = 0,  // zoom and offset are left alone
  kFitInside = 1,    // the whole image inside the screen
  kFitCover = 2,     // the image covers the whole screen
  kFitWidth = 3,     // the image as wide as the screen
  kFitHeight = 4,    // the image as high as the screen
};
inline constexpr std::int32_t kSizeModeCount = 5;
// The settings dialog's names of the size modes, in the order of their values.
inline constexpr const wchar_t* kSizeModeNames[kSizeModeCount] = {
    L"変えない", L"全体が収まる", L"画面を埋める", L"横幅に合わせる", L"縦幅に合わせる",
};

// Values of PluginSettings::Align: where the scaled image is pushed when it
// leaves a margin or sticks out. 3 * row + column, from the top left.
// clang-format off
enum Anchor : std::int32_t {
  kAnchorTopLeft,    kAnchorTop,    kAnchorTopRight,
  kAnchorLeft,       kAnchorCenter, kAnchorRight,
  kAnchorBottomLeft, kAnchorBottom, kAnchorBottomRight,
};
// clang-format on
inline constexpr std::int32_t kAnchorColumns = 3;
inline constexpr std::int32_t kAnchorCount = 9;

// The record keeps plain 32-bit fields, as the file and the dialog give
// them; the constants above name their values.
struct PluginSettings {
  bool Auto;            // align newly pasted images automatically
  bool Enabled;         // give aligned images the configured length
  std::int32_t Unit;    // LengthUnit
  double Seconds;       // > 0 and finite
  std::int32_t Frames;  // >= 1
  std::int32_t Fit;     // SizeMode
  std::int32_t Align;   // Anchor
};

inline constexpr PluginSettings kDefaultSettings = {
    true, true, kUnitSeconds, 3.0, 90, kFitInside, kAnchorCenter,
};

inline constexpr const wchar_t* kSettingsSection = L"Setting";
inline constexpr const wchar_t* kLegacySettingsName = L"Tessling.ini";

namespace state {
// The settings in use: read whole by LoadSettings (InitializePlugin), replaced
// whole by a confirmed settings dialog, read directly everywhere else. Its
// file is found from the module's own path (SettingsFilePath), whichever
// start-up calls the host made. UI thread.
inline PluginSettings Settings = kDefaultSettings;
// LoadSettings has run in this lifetime. UI thread.
inline bool SettingsLoaded = false;
}  // namespace state

// What a load has to tell the user: that the earlier release's file was
// copied (a result), and each key whose text was not taken as written (a
// warning); empty for a clean file or none.
struct SettingsNotes {
  std::wstring Copied;
  std::vector<std::wstring> Untaken;
};

// Finds (migrating from the legacy file when needed) and reads the settings
// file into state::Settings, replacing the whole record, once a lifetime:
// InitializePlugin does, or RegisterPlugin when the host skipped it (a
// dialog showing the built-in values would then write them over the user's
// file). Nothing, and no notes, once it has run. Never fails.
SettingsNotes LoadSettings();
// The notes in the host's log, unless `of` has ended.
void LogSettingsNotes(const Lifetime& of, const SettingsNotes& notes);
// Writes the seven keys of state::Settings to the settings file; false when
// any write failed (a folder the user may not write to, say).
bool SaveSettings();
// The settings file beside the module; empty when the module's path cannot
// be had, and then nothing is read or written.
std::wstring SettingsFilePath();

// The module's whole path, however long.
std::wstring ModuleFilePath(HINSTANCE module);
// "…\Velmora.aux2" → "…\Velmora.ini". A path whose last "." lies in a folder
// name or nowhere gets ".ini" appended, so that the module itself is never
// taken for its settings file; no path gives none.
std::wstring SettingsPathForModule(const std::wstring& modulePath);
// The legacy file in the settings file's folder; empty without a folder.
std::wstring LegacySettingsPathFor(const std::wstring& settingsPath);
// Reads the section "Setting" of `path`, every bad value falling back to its
// default, key by key; a line for `untaken` for each key whose text is not
// wholly a value of the key's kind, as the platform reads it, in its range.
PluginSettings ReadSettingsFile(const std::wstring& path,
                                std::vector<std::wstring>* untaken = nullptr);
// Writes the seven keys in their fixed order; false when any write failed.
bool WriteSettingsFile(const std::wstring& path, const PluginSettings& settings);

// The standard decimal conversion (leading blanks, sign, digits, fraction,
// exponent; the rest ignored; 0 for text that is no number). `whole` tells
// whether all of the text was read.
double ParseSeconds(const wchar_t* text, bool* whole = nullptr);
// A usable length in seconds: above zero, and finite so it can become frames.
bool IsValidSeconds(double seconds);
// "%g": six significant digits, "." as decimal point whatever the locale.
std::wstring FormatSeconds(double seconds);

}  // namespace velmora
