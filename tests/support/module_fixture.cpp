#include "tests/support/module_fixture.h"

namespace testsupport {

std::wstring BuiltModulePath() { return hostsim::ExecutableFolder() + VELMORA_MODULE_NAME; }

int PluginWindowsInThisProcess() {
  int count = 0;
  HWND window = nullptr;
  while ((window = FindWindowExW(HWND_MESSAGE, window, L"VelmoraMessageWindow", nullptr))) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId()) ++count;
  }
  return count;
}

InstalledModule::InstalledModule(const std::wstring& name) : name_(name) {
  CopyFileW(BuiltModulePath().c_str(), ModulePath().c_str(), FALSE);
}

InstalledModule::~InstalledModule() {
  if (module_.Loaded() && module_.UninitializePlugin != nullptr) module_.UninitializePlugin();
  module_.Unload();
}

bool InstalledModule::Load() { return module_.Load(ModulePath()); }

}  // namespace testsupport
