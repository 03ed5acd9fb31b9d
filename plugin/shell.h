// The plug-in shell: what the exports hand off to. The host calls them in the
// order load → InitializeLogger → InitializePlugin → RegisterPlugin →
// UninitializePlugin → unload; what they keep is in plugin/state.h.
#pragma once

#include <cstdint>

#include "plugin/host/host_api.h"

namespace velmora {

inline constexpr std::uint32_t kRequiredHostVersion = 2011700;
inline constexpr const wchar_t* kPluginName = L"Velmora";
inline constexpr const wchar_t* kObjectMenuLabel = L"画像の長さと大きさを揃える";
inline constexpr const wchar_t* kConfigMenuLabel = L"Velmora の設定...";

const CommonPluginTable* CommonTable();
// The three start-up steps each begin with BeginLifetime (plugin/lifetime.h),
// so that the first after a shut-down starts afresh.
// Keeps the logger for all later lines.
void TakeLogger(HostLogger* logger);
// Keeps the host version, loads the settings and logs the load line.
bool Initialize(std::uint32_t hostVersion);
// Creates the message window, keeps the edit handle and registers the
// handlers and menu entries.
void Register(const HostTable* host);
// Ends the lifetime, from any thread: the message window goes, an open
// settings dialog closes as cancelled, and the module stays mapped while code
// of ours is under way.
void Uninitialize();

}  // namespace velmora
