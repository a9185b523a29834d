#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Full paths of the modules loaded in a process. Only processes of the same
// bitness as the caller can be read this way.
bool RCGetProcessModules(DWORD processId, std::vector<std::wstring>& modules);

// The process's executable as a drive path; empty for id 0 or on failure.
std::wstring RCGetProcessImagePath(DWORD processId);
