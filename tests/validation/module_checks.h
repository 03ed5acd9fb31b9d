// Helpers of the module-level validation tests: what the process holds
// (handles, windows), and what a host's call log says the plug-in did.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "hostsim/host.h"
#include "hostsim/plugin_module.h"
#include "tests/support/module_fixture.h"

namespace validation {

inline constexpr const wchar_t* kWindowClass = L"VelmoraMessageWindow";

inline int MessageWindows(const wchar_t* className) {
  return static_cast<int>(testsupport::MessageWindowsInThisProcess(className).size());
}

// Open handles, found by asking the handle table about each of the lowest
// 2048 slots. GetProcessHandleCount cannot be relied on: some platform
// layers answer it with 0 whatever is open.
inline int ProbedHandles() {
  int count = 0;
  for (ULONG_PTR value = 4; value < ULONG_PTR{4} * 2048; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

struct Census {
  int Handles = 0;            // probed
  DWORD ReportedHandles = 0;  // GetProcessHandleCount
  DWORD UserObjects = 0;      // GetGuiResources
  int MessageWindowsAll = 0;
  int PluginWindows = 0;
};

inline Census TakeCensus() {
  Census c;
  c.Handles = ProbedHandles();
  GetProcessHandleCount(GetCurrentProcess(), &c.ReportedHandles);
  c.UserObjects = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
  c.MessageWindowsAll = MessageWindows(nullptr);
  c.PluginWindows = MessageWindows(kWindowClass);
  return c;
}

// Shuts the module down and unloads it however a test ends: a window left
// behind would outlive the code of its own window procedure.
class ModuleGuard {
 public:
  explicit ModuleGuard(hostsim::PluginModule& module) : module_(module) {}
  ~ModuleGuard() {
    if (!module_.Loaded()) return;
    module_.UninitializePlugin();
    module_.Unload();
  }
  ModuleGuard(const ModuleGuard&) = delete;
  ModuleGuard& operator=(const ModuleGuard&) = delete;

 private:
  hostsim::PluginModule& module_;
};

// True when `values` is the one entry `text`: one object, fitted once, even
// when the host hands it out again after lengthening it.
inline bool OnlyOnce(const std::vector<std::string>& values, const std::string& text) {
  return values.size() == 1 && values[0] == text;
}

inline int CountOps(const hostsim::Host& host, const std::string& op) {
  int n = 0;
  for (const std::string& o : host.CallOps())
    n += o == op ? 1 : 0;
  return n;
}

// Texts the plug-in wrote to one item of the standard-drawing effect.
inline std::vector<std::string> WrittenItem(hostsim::Host& host, const std::string& item) {
  std::vector<std::string> values;
  const std::string marker = ",標準描画," + item + ",";
  for (const hostsim::HostCall& call : host.Calls()) {
    if (call.Op != "SetItem") continue;
    std::size_t at = call.Args.find(marker);
    if (at != std::string::npos) values.push_back(call.Args.substr(at + marker.size()));
  }
  return values;
}

}  // namespace validation
