// Turns host events into scans on the plug-in's own message-only window, one
// scan for any number of events, repeated while the host refuses it.
#pragma once

#include <windows.h>

#include "plugin/host/host_api.h"

namespace velmora {

inline constexpr const wchar_t* kMessageWindowClass = L"VelmoraMessageWindow";
inline constexpr UINT kScanRequest = WM_APP + 1;
inline constexpr UINT_PTR kRetryTimerId = 1;
inline constexpr UINT kRetryDelayMs = 300;
// Asks the window's own thread to destroy the window: no other thread can.
inline constexpr UINT kCloseRequest = WM_APP + 2;
inline constexpr UINT kCloseTimeoutMs = 500;

// The window is state::MessageWindow.
void CreateMessageWindow();
// Destroys the window and unregisters its class, so that a later load of the
// module in the same process can register it again with its new procedure.
// From another thread it hands the destruction to the window's thread; when
// that thread does not answer in time, the window is left to run nothing and
// the module pins itself so its procedure never dangles.
void DestroyMessageWindow();

// Event and reset handlers; callable from any thread.
void VELMORA_HOSTCALL RequestScan();
void VELMORA_HOSTCALL RequestReset();

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace velmora
