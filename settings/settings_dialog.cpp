#include "settings/settings_dialog.h"
#include "plugin/plugin.h"
namespace velmora {
std::intptr_t __cdecl OpenSettingsDialog(HWND parent) {
  return DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(kSettingsDialogId), parent, &SettingsDialogProc, 0);
}
INT_PTR CALLBACK SettingsDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
void UpdateControlStates(HWND) {}
}
