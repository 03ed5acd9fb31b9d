#include "hostsim/plugin_module.h"

#include "hostsim/files.h"

namespace hostsim {
namespace {

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn& out, std::string& error) {
  out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (out == nullptr) error = std::string("missing export ") + name;
  return out != nullptr;
}

}  // namespace

bool PluginModule::Load(const std::wstring& path) {
  Unload();
  error_.clear();
  module_ = LoadLibraryW(path.c_str());
  if (module_ == nullptr) {
    error_ = "LoadLibraryW failed with error " + std::to_string(GetLastError());
    return false;
  }
  bool ok = Resolve(module_, "RequiredVersion", RequiredVersion, error_) &&
            Resolve(module_, "GetCommonPluginTable", GetCommonPluginTable, error_) &&
            Resolve(module_, "InitializeLogger", InitializeLogger, error_) &&
            Resolve(module_, "InitializePlugin", InitializePlugin, error_) &&
            Resolve(module_, "RegisterPlugin", RegisterPlugin, error_) &&
            Resolve(module_, "UninitializePlugin", UninitializePlugin, error_);
  if (!ok) {
    std::string why = error_;
    Unload();
    error_ = why;
  }
  return ok;
}

void PluginModule::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  RequiredVersion = nullptr;
  GetCommonPluginTable = nullptr;
  InitializeLogger = nullptr;
  InitializePlugin = nullptr;
  RegisterPlugin = nullptr;
  UninitializePlugin = nullptr;
}

bool PluginModule::Start(Host& host, bool withLogger) {
  if (!Loaded()) return false;
  if (host.Version() < RequiredVersion()) {
    error_ = "the plug-in needs host version " + std::to_string(RequiredVersion());
    return false;
  }
  if (GetCommonPluginTable() == nullptr) {
    error_ = "the plug-in gave no name table";
    return false;
  }
  if (withLogger) InitializeLogger(host.Logger());
  if (!InitializePlugin(host.Version())) {
    error_ = "InitializePlugin refused";
    return false;
  }
  // The table is the host's; the plug-in may not keep it beyond the call.
  RegisterPlugin(const_cast<velmora::HostTable*>(host.Table()));
  return true;
}

std::wstring ExecutableFolder() {
  std::wstring path(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return FolderOf(path);
}

}  // namespace hostsim
