// Every export of Velmora.aux2. Each is a thin shell that hands off to the
// plug-in and lets nothing escape across the module boundary: the host is not
// C++ and an exception reaching it would take the whole application down.
#include <cstdint>

#include "plugin/host_api.h"
#include "plugin/plugin.h"
#include "plugin/state.h"

using velmora::CommonPluginTable;
using velmora::HostLogger;
using velmora::HostTable;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    velmora::state::ModuleInstance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" {

std::uint32_t __cdecl RequiredVersion() { return velmora::kRequiredHostVersion; }

const CommonPluginTable* __cdecl GetCommonPluginTable() { return velmora::CommonTable(); }

void __cdecl InitializeLogger(HostLogger* logger) { velmora::state::Logger = logger; }

bool __cdecl InitializePlugin(std::uint32_t hostVersion) {
  try {
    return velmora::Initialize(hostVersion);
  } catch (...) {
    // Settings stay at their built-in values; the plug-in still works.
    return true;
  }
}

void __cdecl RegisterPlugin(HostTable* host) {
  if (host == nullptr) return;
  try {
    velmora::Register(host);
  } catch (...) {
  }
}

void __cdecl UninitializePlugin() {
  try {
    velmora::Uninitialize();
  } catch (...) {
  }
}

}  // extern "C"
