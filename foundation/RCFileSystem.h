#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// File and folder queries. Drive paths that fail as they are are retried
// with the "\\?\" prefix, which lifts the MAX_PATH limit.

DWORD RCGetFileAttributes(const std::wstring& path);

// These accept a quoted path, and a file path with a trailing separator.
bool RCPathExists(std::wstring path);
bool RCIsFile(std::wstring path);
bool RCIsDirectory(std::wstring path);

// Creates the folder with every missing parent; true when it is a folder
// afterwards (false when the path names a file).
bool RCCreateDirectories(const std::wstring& path);

// 0 for a folder or when the size cannot be read.
uint64_t RCGetFileSize(const std::wstring& path);

// The whole file followed by one zero byte, or false and nothing: a short read
// is as bad as none.
bool RCReadWholeFile(const std::wstring& path, std::vector<char>& text);

// A CSIDL folder; CSIDL_APPDATA falls back to %APPDATA%.
bool RCGetSpecialFolder(int folderId, std::wstring& path);

// The host executable's folder, ending with one backslash.
std::wstring RCGetExeFolder();
