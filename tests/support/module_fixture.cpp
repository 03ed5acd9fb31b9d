#include "tests/support/module_fixture.h"

namespace testsupport {

std::wstring BuiltModulePath() { return hostsim::ExecutableFolder() + VELMORA_MODULE_NAME; }

std::vector<HWND> MessageWindowsInThisProcess(const wchar_t* className) {
  // FindWindowExW finds "the next after this one"; once another process has
  // destroyed "this one", it answers null as if the list had ended. Such a
  // walk is started again: our own windows do not vanish while we count.
  std::vector<HWND> own;
  for (int attempt = 0; attempt < 100; ++attempt) {
    own.clear();
    HWND window = nullptr;
    while (HWND next = FindWindowExW(HWND_MESSAGE, window, className, nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(next, &pid);
      if (pid == GetCurrentProcessId()) own.push_back(next);
      window = next;
    }
    if (window == nullptr || IsWindow(window)) break;
  }
  return own;
}

int PluginWindowsInThisProcess() {
  return static_cast<int>(MessageWindowsInThisProcess(L"VelmoraMessageWindow").size());
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
