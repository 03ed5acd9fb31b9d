// Start-up, registration with the host and shut-down.
#include "plugin/plugin.h"

#include <cwchar>

#include "align/passes.h"
#include "detect/trigger.h"
#include "plugin/version.h"
#include "settings/settings.h"
#include "settings/settings_dialog.h"

namespace velmora {
namespace {

HINSTANCE g_ModuleInstance = nullptr;
HostLogger* g_Logger = nullptr;
std::uint32_t g_HostVersion = 0;
EditHandle* g_EditHandle = nullptr;

const CommonPluginTable g_CommonTable = {
    kPluginName,
    L"Velmora version " VELMORA_VERSION_WSTRING,
};

}  // namespace

HINSTANCE ModuleInstance() { return g_ModuleInstance; }
void SetModuleInstance(HINSTANCE instance) { g_ModuleInstance = instance; }
HostLogger* Logger() { return g_Logger; }
std::uint32_t HostVersion() { return g_HostVersion; }
EditHandle* GetEditHandle() { return g_EditHandle; }

void LogInfo(const wchar_t* text) {
  if (g_Logger != nullptr && g_Logger->Info != nullptr) g_Logger->Info(g_Logger, text);
}

void LogWarn(const wchar_t* text) {
  if (g_Logger != nullptr && g_Logger->Warn != nullptr) g_Logger->Warn(g_Logger, text);
}

const CommonPluginTable* CommonTable() { return &g_CommonTable; }

void AttachLogger(HostLogger* logger) { g_Logger = logger; }

bool Initialize(std::uint32_t hostVersion) {
  g_HostVersion = hostVersion;
  LoadSettings(g_ModuleInstance);
  wchar_t line[128];
  std::swprintf(line, 128, L"本体バージョン %lu で読み込みました",
                static_cast<unsigned long>(hostVersion));
  LogInfo(line);
  return true;
}

void Register(const HostTable* host) {
  CreateMessageWindow();
  g_EditHandle = host->CreateEditHandle();
  host->RegisterResetHandler(&RequestReset);
  host->RegisterEventHandler(1, nullptr, &RequestScan);
  host->RegisterEventHandler(3, nullptr, &RequestScan);
  host->RegisterObjectMenu(kObjectMenuLabel, &AlignSelectedCommand);
  host->RegisterConfigMenu(kConfigMenuLabel, &OpenSettingsDialog);
}

void Uninitialize() { DestroyMessageWindow(); }

}  // namespace velmora
