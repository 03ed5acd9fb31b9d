// Process-wide state of the plug-in shell and the operations the exports hand
// off to. Everything here is set by the host's calls into the module, in the
// order load → InitializeLogger → InitializePlugin → RegisterPlugin →
// UninitializePlugin → unload.
#pragma once

#include <cstdint>

#include "plugin/host_api.h"

namespace velmora {

inline constexpr std::uint32_t kRequiredHostVersion = 2011700;
inline constexpr const wchar_t* kPluginName = L"Velmora";
inline constexpr const wchar_t* kObjectMenuLabel = L"画像の長さと大きさを揃える";
inline constexpr const wchar_t* kConfigMenuLabel = L"Velmora の設定...";

// The module's own instance: resources, window classes and the settings file
// are found through it, never through the host's executable.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

HostLogger* Logger();
std::uint32_t HostVersion();
// Null until RegisterPlugin; scans do nothing without it.
EditHandle* GetEditHandle();

// Log lines go to the host's logger when it gave one, and nowhere otherwise.
void LogInfo(const wchar_t* text);
void LogWarn(const wchar_t* text);

const CommonPluginTable* CommonTable();
void AttachLogger(HostLogger* logger);
bool Initialize(std::uint32_t hostVersion);
void Register(const HostTable* host);
void Uninitialize();

}  // namespace velmora
