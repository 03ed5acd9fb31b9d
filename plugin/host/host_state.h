// What the host and the system handed the plug-in, kept process-wide: the
// boundary's part of the process-wide state. Each layer keeps its own part
// (settings/settings.h, detect/detect_state.h), with the thread that uses each
// variable and how long its value lasts; the shell's ResetToLoadValues puts
// them all back.
//
// "UI thread" is the host's user-interface thread. It calls the exports and
// the menu handlers, runs the RunRead and RunEdit callbacks, and owns the
// message window, so every scan runs on it too.
#pragma once

#include <cstdint>

#include <windows.h>

#include "plugin/host/host_api.h"

namespace velmora::state {

// DllMain; for the module's whole life. Resources, the window class and the
// settings file are found through it, never through the host's executable.
inline HINSTANCE ModuleInstance = nullptr;
// InitializeLogger; may stay null, and then no line is written. UI thread.
inline HostLogger* Logger = nullptr;
// InitializePlugin; shown in the settings dialog. UI thread.
inline std::uint32_t HostVersion = 0;
// The host's EditHandle, from RegisterPlugin; null until then, and a scan
// does nothing without it. UI thread.
inline EditHandle* Edit = nullptr;

}  // namespace velmora::state
