// Copies the built Velmora.aux2 into a temporary folder (optionally beside
// prepared settings files) and loads it there, as a user's host would.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "hostsim/host.h"
#include "hostsim/plugin_module.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// The module built beside the test executable.
std::wstring BuiltModulePath();

// Message-only windows of this process, of one class or (null) of any. Other
// processes on the same desktop have their own, and may destroy them while
// the list is walked.
std::vector<HWND> MessageWindowsInThisProcess(const wchar_t* className);

// Message-only windows of the plug-in's class that belong to this process.
int PluginWindowsInThisProcess();

class InstalledModule {
 public:
  // `name` is the file name the module gets in its folder.
  explicit InstalledModule(const std::wstring& name = L"Velmora.aux2");
  ~InstalledModule();

  TempDir& Folder() { return folder_; }
  std::wstring ModulePath() const { return folder_.File(name_); }
  // Loads the copy; false (with the reason in Module().Error()) on failure.
  bool Load();
  hostsim::PluginModule& Module() { return module_; }

 private:
  TempDir folder_;
  std::wstring name_;
  hostsim::PluginModule module_;
};

}  // namespace testsupport
