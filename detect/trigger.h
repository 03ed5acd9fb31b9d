// Turns host events into scans on the plug-in's own message-only window, one
// scan for any number of events, repeated while the host refuses it.
#pragma once

#include <windows.h>

namespace velmora {

inline constexpr const wchar_t* kMessageWindowClass = L"VelmoraMessageWindow";
inline constexpr UINT kScanRequest = WM_APP + 1;
inline constexpr UINT_PTR kRetryTimerId = 1;
inline constexpr UINT kRetryDelayMs = 300;

void CreateMessageWindow();
// Destroys the window and unregisters its class, so that a later load of the
// module in the same process can register it again with its new procedure.
void DestroyMessageWindow();
HWND MessageWindow();

// Event and reset handlers; callable from any thread.
void __cdecl RequestScan();
void __cdecl RequestReset();

LRESULT CALLBACK MessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace velmora
