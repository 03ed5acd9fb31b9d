// Start-up, registration with the host and shut-down.
#include "plugin/plugin.h"

#include <cwchar>

#include "align/passes.h"
#include "detect/trigger.h"
#include "plugin/host_log.h"
#include "plugin/host_names.h"
#include "plugin/state.h"
#include "plugin/version.h"
#include "settings/settings.h"
#include "settings/settings_dialog.h"

namespace velmora {
namespace {

const CommonPluginTable kCommonTable = {
    kPluginName,
    L"Velmora version " VELMORA_VERSION_WSTRING,
};

}  // namespace

const CommonPluginTable* CommonTable() { return &kCommonTable; }

bool Initialize(std::uint32_t hostVersion) {
  state::HostVersion = hostVersion;
  LoadSettings(state::ModuleInstance);
  wchar_t line[128];
  std::swprintf(line, 128, L"本体バージョン %lu で読み込みました",
                static_cast<unsigned long>(hostVersion));
  LogInfo(line);
  return true;
}

void Register(const HostTable* host) {
  CreateMessageWindow();
  state::Edit = host->CreateEditHandle();
  host->RegisterResetHandler(&RequestReset);
  for (std::int32_t kind : kScanEventKinds)
    host->RegisterEventHandler(kind, nullptr, &RequestScan);
  host->RegisterObjectMenu(kObjectMenuLabel, &AlignSelectedCommand);
  host->RegisterConfigMenu(kConfigMenuLabel, &OpenSettingsDialog);
}

void Uninitialize() { DestroyMessageWindow(); }

}  // namespace velmora
