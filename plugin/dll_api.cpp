// Every export of Velmora.aux2. Each is a thin shell that hands off to the
// plug-in and lets nothing escape across the module boundary: the host is not
// C++ and an exception reaching it would take the whole application down.
// Each is noexcept, so that the compiler holds the shell to that promise.
#include <cstdint>

#include "plugin/host/host_api.h"
#include "plugin/host/host_state.h"
#include "plugin/host/lifetime.h"
#include "plugin/shell.h"

// Thread notifications stay on (no DisableThreadLibraryCalls): a C runtime
// linked in statically, as MSVC's is here, needs them for its per-thread data.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) velmora::state::ModuleInstance = instance;
  return TRUE;
}

extern "C" {

std::uint32_t VELMORA_HOSTCALL RequiredVersion() noexcept { return velmora::kRequiredHostVersion; }

const velmora::CommonPluginTable* VELMORA_HOSTCALL GetCommonPluginTable() noexcept {
  return velmora::CommonTable();
}

void VELMORA_HOSTCALL InitializeLogger(velmora::HostLogger* logger) noexcept {
  velmora::StartUp([&] { velmora::TakeLogger(logger); });
}

bool VELMORA_HOSTCALL InitializePlugin(std::uint32_t hostVersion) noexcept {
  // When loading fails the settings stay at their built-in values, and the
  // plug-in still works.
  bool ready = true;
  velmora::StartUp([&] { ready = velmora::Initialize(hostVersion); });
  return ready;
}

void VELMORA_HOSTCALL RegisterPlugin(velmora::HostTable* host) noexcept {
  if (host == nullptr) return;
  velmora::StartUp([&] { velmora::Register(host); });
}

// The shut-down itself, which Enter would count as code in flight.
void VELMORA_HOSTCALL UninitializePlugin() noexcept {
  velmora::RunGuarded([] { velmora::Uninitialize(); });
}

}  // extern "C"
