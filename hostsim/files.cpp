#include "hostsim/files.h"

#include <windows.h>

#include <cstdio>

namespace hostsim {

std::wstring FileNameOf(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path) {
  std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring WithSlash(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

std::wstring FullPath(const std::wstring& base, const std::wstring& path) {
  bool absolute = (path.size() > 1 && path[1] == L':') ||
                  (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
  std::wstring joined = absolute ? path : base + path;
  DWORD n = GetFullPathNameW(joined.c_str(), 0, nullptr, nullptr);
  if (n == 0) return joined;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(joined.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return full;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  char buffer[65536];
  std::size_t n;
  bytes.clear();
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.append(buffer, n);
  std::fclose(file);
  return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace hostsim
