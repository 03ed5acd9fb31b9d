// What velmora-host tells of the plug-in's settings files: which file a load
// reads, and the keys of a file read by the rules the readme gives (the
// platform's profile functions, a bad value falling back to its default).
// It is read here on its own rather than through the plug-in's code, so that
// what velmora-host prints is a second opinion, not an echo.
#pragma once

#include <string>

namespace hostsim {

inline constexpr const wchar_t* kSettingsName = L"Velmora.ini";
inline constexpr const wchar_t* kLegacySettingsName = L"Tessling.ini";

// Whether `path` is a file (not a folder, not missing).
bool IsFile(const std::wstring& path);

// The values a load takes from the file (the defaults when it is missing):
// as keys, "Auto=1 Enabled=1 Unit=0 Seconds=3 Frames=90 Fit=1 Align=4", in
// words, "automatic, 3 s, whole image inside, centre", and the keys whose
// text the plug-in does not take as written, "Fit=9 → 1, Seconds=2,5 → 2"
// (it says the same in the host's log).
struct SettingsText {
  std::string Keys;
  std::string Meaning;
  std::string NotAsWritten;
};
SettingsText SettingsInEffect(const std::wstring& path);

}  // namespace hostsim
