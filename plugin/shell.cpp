// Start-up, registration with the host and shut-down.
#include "plugin/shell.h"

#include <cwchar>

#include "align/passes.h"
#include "detect/trigger.h"
#include "plugin/host/host_log.h"
#include "plugin/host/host_names.h"
#include "plugin/host/lifetime.h"
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

void TakeLogger(HostLogger* logger) {
  BeginLifetime();
  state::Logger = logger;
}

bool Initialize(std::uint32_t hostVersion) {
  BeginLifetime();
  // The logger is the host's: it may pump messages, and a shut-down come.
  const ModuleInUse inUse;
  state::HostVersion = hostVersion;
  LoadSettings();
  wchar_t line[128];
  std::swprintf(line, 128, L"本体バージョン %lu で読み込みました",
                static_cast<unsigned long>(hostVersion));
  LogInfo(line);
  return true;
}

void Register(const HostTable* host) {
  BeginLifetime();
  const ModuleInUse inUse;
  CreateMessageWindow();
  state::Edit = host->CreateEditHandle();
  host->RegisterResetHandler(&RequestReset);
  for (std::int32_t kind : kScanEventKinds)
    host->RegisterEventHandler(kind, nullptr, &RequestScan);
  host->RegisterObjectMenu(kObjectMenuLabel, &AlignSelectedCommand);
  host->RegisterConfigMenu(kConfigMenuLabel, &OpenSettingsDialog);
}

void Uninitialize() {
  // Raised before anything else: code that begins from here on sees it
  // (ModuleInUse) and code already under way is counted below, the two
  // atomics taken in opposite order on each side, so no gap is left between
  // them.
  state::Lifetime.fetch_add(1);
  // Counted again at the end: code under way now may have finished by then,
  // and still be returning through its last instructions.
  bool underWay = state::CodeUnderWay.load() > 0;
  DestroyMessageWindow();
  // Its settings belong to a plug-in that is gone: nothing of it is saved.
  CloseSettingsDialogs();
  underWay = underWay || state::CodeUnderWay.load() > 0;
  if (underWay) PinModule();
}

}  // namespace velmora
