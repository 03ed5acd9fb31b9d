// Start-up, registration with the host and shut-down.
#include "plugin/shell.h"

#include <cwchar>

#include "align/passes.h"
#include "detect/detect_state.h"
#include "detect/trigger.h"
#include "plugin/host/host_log.h"
#include "plugin/host/host_names.h"
#include "plugin/host/host_state.h"
#include "plugin/host/lifetime.h"
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

void BeginLifetime() noexcept {
  if (lifetime::BeginsAfresh()) ResetToLoadValues();
}

void ResetToLoadValues() {
  // Its answer is known when called from BeginLifetime; tests call this
  // directly, and the state they reset belongs to the lifetime now current.
  lifetime::BeginsAfresh();
  state::Logger = nullptr;
  state::HostVersion = 0;
  state::Edit = nullptr;
  state::Settings = kDefaultSettings;
  state::SettingsLoaded = false;
  state::ForgetScenes();
}

void TakeLogger(HostLogger* logger) { state::Logger = logger; }

bool Initialize(std::uint32_t hostVersion) {
  const Lifetime lifetime;
  state::HostVersion = hostVersion;
  const SettingsNotes notes = LoadSettings();
  wchar_t line[128];
  std::swprintf(line, 128, L"本体バージョン %lu で読み込みました",
                static_cast<unsigned long>(hostVersion));
  LogInfo(lifetime, line);
  // After the load line, which stays the first.
  LogSettingsNotes(lifetime, notes);
  return true;
}

void Register(const HostTable* host) {
  const Lifetime lifetime;
  LogSettingsNotes(lifetime, LoadSettings());
  // The host may shut the plug-in down, and start it again, inside its
  // calls: nothing more is registered for a plug-in that is gone, nor its
  // edit handle kept over the new lifetime's.
  if (lifetime.Ended()) return;
  CreateMessageWindow();
  EditHandle* edit = host->CreateEditHandle();
  if (lifetime.Ended()) return;
  state::Edit = edit;
  host->RegisterResetHandler(&RequestReset);
  for (std::int32_t kind : kScanEventKinds)
    host->RegisterEventHandler(kind, nullptr, &RequestScan);
  host->RegisterObjectMenu(kObjectMenuLabel, &AlignSelectedCommand);
  host->RegisterConfigMenu(kConfigMenuLabel, &OpenSettingsDialog);
}

void Uninitialize() {
  // Its settings belong to a plug-in that is gone: nothing of it is saved.
  lifetime::ShutDown([] {
    DestroyMessageWindow();
    CloseSettingsDialogs();
  });
}

}  // namespace velmora
