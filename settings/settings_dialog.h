// The settings dialog, opened from the host's configuration menu.
#pragma once

#include <cstdint>

#include <windows.h>

#include "plugin/host/host_api.h"

namespace velmora {

inline constexpr int kSettingsDialogId = 100;

// The configuration-menu handler: runs the dialog modally over `parent` and
// returns what the modal run returns (1 after OK, 2 after Cancel, or the
// platform's failure value).
std::intptr_t VELMORA_HOSTCALL OpenSettingsDialog(HWND parent);

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Enables and disables controls from the dialog's current choices.
void UpdateControlStates(HWND dialog);

// Asks every open settings dialog of this module to close as cancelled.
// Any thread.
void CloseSettingsDialogs();

}  // namespace velmora
