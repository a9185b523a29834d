#pragma once

#include <windows.h>

#include <string>

// Starts a program through the shell, with the program's folder as working
// folder; elevate asks for administrator rights on Vista and later. The
// process handle goes to *process when given (the caller closes it).
bool RCShellRun(const std::wstring& path, const std::wstring& parameters, bool elevate, HANDLE* process);
