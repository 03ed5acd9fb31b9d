// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
#pragma once

#include <string>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // With a trailing backslash.
  const std::wstring& Path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + name; }

 private:
  std::wstring path_;
};

// Whole-file helpers for test data (bytes as they are on disk).
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool ReadFileBytes(const std::wstring& path, std::string& bytes);
bool FileExists(const std::wstring& path);
// Writes UTF-8 text as an INI file would hold it (no byte-order mark).
bool WriteTextFile(const std::wstring& path, const std::string& utf8);

}  // namespace testsupport
