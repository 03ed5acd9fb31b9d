#include "hostsim/plugin_module.h"

#include <cstring>

#include "hostsim/files.h"

namespace hostsim {
namespace {

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn& out, std::string& error) {
  out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (out == nullptr) error = std::string("missing export ") + name;
  return out != nullptr;
}

// What LoadLibraryW's error means for the one who named the module.
std::string LoadErrorText(DWORD error) {
  if (error == ERROR_MOD_NOT_FOUND) return "it, or a DLL it needs, was not found";
  if (error == ERROR_BAD_EXE_FORMAT) return "it is not a 64-bit Windows DLL";
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = text != nullptr ? text : L"";
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
    message.pop_back();
  return "Windows error " + std::to_string(error) + (message.empty() ? "" : ": " + Utf8(message));
}

// The header fields ModuleFileProblem looks at.
struct PeHeader {
  std::uint16_t Machine = 0;
  std::uint16_t Characteristics = 0;
};

bool ReadPeHeader(const std::string& bytes, PeHeader& header) {
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return false;
  std::uint32_t at = 0;
  std::memcpy(&at, bytes.data() + 0x3c, sizeof at);
  if (at > bytes.size() || bytes.size() - at < 24 ||
      bytes.compare(at, 4, std::string("PE\0\0", 4)) != 0) {
    return false;
  }
  std::memcpy(&header.Machine, bytes.data() + at + 4, sizeof header.Machine);
  std::memcpy(&header.Characteristics, bytes.data() + at + 22, sizeof header.Characteristics);
  return true;
}

}  // namespace

std::string ModuleFileProblem(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return "there is no such file";
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return "it is a folder";
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return "it cannot be read";
  PeHeader header;
  if (!ReadPeHeader(bytes, header)) return "it is no Windows program or DLL at all";
  if (header.Machine == IMAGE_FILE_MACHINE_I386) return "it is built for 32-bit Windows (x86)";
  if (header.Machine != IMAGE_FILE_MACHINE_AMD64) return "it is built for another processor";
  if ((header.Characteristics & IMAGE_FILE_DLL) == 0) return "it is a program, not a DLL";
  return std::string();
}

bool PluginModule::Load(const std::wstring& path) {
  Unload();
  error_.clear();
  module_ = LoadLibraryW(path.c_str());
  if (module_ == nullptr) {
    error_ = LoadErrorText(GetLastError());
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
