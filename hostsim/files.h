// Paths and whole files, as the simulated host and velmora-host handle them:
// both slashes separate folders, and a folder ends with its separator.
#pragma once

#include <string>

namespace hostsim {

// The part after the last slash; all of `path` when it has none.
std::wstring FileNameOf(const std::wstring& path);
// Up to and with the last slash; empty when `path` has none.
std::wstring FolderOf(const std::wstring& path);
// `folder` ending in a slash ("\" added when it has none); empty stays empty.
std::wstring WithSlash(std::wstring folder);
// `path` made absolute; a relative path is taken from `base` (empty: from
// the current folder).
std::wstring FullPath(const std::wstring& base, const std::wstring& path);

bool ReadWholeFile(const std::wstring& path, std::string& bytes);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace hostsim
