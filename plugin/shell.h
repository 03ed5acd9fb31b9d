// The plug-in shell: the start-up, registration and shut-down that the
// exports (plugin/dll_api.cpp) hand off to. The host calls them in the order
// load → InitializeLogger → InitializePlugin → RegisterPlugin →
// UninitializePlugin → unload, but may skip, repeat or reorder them.
#pragma once

#include <cstdint>
#include <utility>

#include "plugin/host/host_api.h"
#include "plugin/host/lifetime.h"

namespace velmora {

inline constexpr std::uint32_t kRequiredHostVersion = 2011700;
inline constexpr const wchar_t* kPluginName = L"Velmora";
inline constexpr const wchar_t* kObjectMenuLabel = L"画像の長さと大きさを揃える";
inline constexpr const wchar_t* kConfigMenuLabel = L"Velmora の設定...";

const CommonPluginTable* CommonTable();

// After a shut-down, the process-wide state back to its load values, as in a
// module the system has just mapped (the host may be handed the same image,
// kept mapped, again); nothing otherwise.
void BeginLifetime() noexcept;

// How a start-up export enters: the lifetime begins first, since a call that
// enters after a shut-down pins the module, and a new start-up is no such call.
template <typename Body>
bool StartUp(Body&& body) noexcept {
  BeginLifetime();
  return Enter(std::forward<Body>(body));
}

// The three start-up steps, entered through StartUp. Keeps the logger for all
// later lines.
void TakeLogger(HostLogger* logger);
// Keeps the host version, loads the settings and logs the load line.
bool Initialize(std::uint32_t hostVersion);
// Loads the settings if InitializePlugin did not, creates the message
// window, keeps the edit handle and registers the handlers and menu entries.
void Register(const HostTable* host);
// Ends the lifetime, from any thread: the message window goes, an open
// settings dialog closes as cancelled, and the module stays mapped while code
// of ours is in flight.
void Uninitialize();

// Every process-wide variable of every layer back to its value at load,
// except the module instance and the message window's, which creating and
// destroying the window put back; the state then belongs to the current
// lifetime. Run by BeginLifetime, and by tests, which run many plug-in
// lifetimes in one process.
void ResetToLoadValues();

}  // namespace velmora
