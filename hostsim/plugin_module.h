// Loads a plug-in module the way the host does: by path, through its six
// exports, and walks it through start-up against a Host.
#pragma once

#include <cstdint>
#include <string>

#include "hostsim/host.h"

namespace hostsim {

class PluginModule {
 public:
  using RequiredVersionFn = std::uint32_t(__cdecl*)();
  using GetCommonPluginTableFn = const velmora::CommonPluginTable*(__cdecl*)();
  using InitializeLoggerFn = void(__cdecl*)(velmora::HostLogger*);
  using InitializePluginFn = bool(__cdecl*)(std::uint32_t);
  using RegisterPluginFn = void(__cdecl*)(velmora::HostTable*);
  using UninitializePluginFn = void(__cdecl*)();

  PluginModule() = default;
  ~PluginModule() { Unload(); }
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  // LoadLibraryW and the six exports by name. On failure nothing stays
  // loaded and Error() says why.
  bool Load(const std::wstring& path);
  void Unload();
  bool Loaded() const { return module_ != nullptr; }
  HMODULE Handle() const { return module_; }
  const std::string& Error() const { return error_; }

  // The host's start-up sequence: version check, name table, logger (or
  // none), InitializePlugin with the host's version, RegisterPlugin.
  bool Start(Host& host, bool withLogger = true);

  RequiredVersionFn RequiredVersion = nullptr;
  GetCommonPluginTableFn GetCommonPluginTable = nullptr;
  InitializeLoggerFn InitializeLogger = nullptr;
  InitializePluginFn InitializePlugin = nullptr;
  RegisterPluginFn RegisterPlugin = nullptr;
  UninitializePluginFn UninitializePlugin = nullptr;

 private:
  HMODULE module_ = nullptr;
  std::string error_;
};

// The folder of the running executable, with a trailing backslash.
std::wstring ExecutableFolder();

// Why the file at `path` cannot be loaded as a 64-bit Windows DLL, read from
// its headers ("there is no such file", "it is a 32-bit (x86) DLL", ...);
// empty when it looks like one.
std::string ModuleFileProblem(const std::wstring& path);

}  // namespace hostsim
