#pragma once

#include <windows.h>

// Version and bitness of the running Windows and of processes on it.

// The version GetVersionExW reports to this process: 6.2 on Windows 8.1 and
// later unless the program's manifest declares a newer Windows, and under
// Wine the version set for the prefix or for the program.
bool RCGetReportedOsVersion(OSVERSIONINFOEXW& version);
// The true version, also on Windows 8 and later, where GetVersionExW alone
// reports 6.2 to a program without a compatibility manifest.
bool RCGetOsVersion(OSVERSIONINFOEXW& version);
bool RCIsWin8OrLater();

bool RCIs64BitOs();
// True only for a 32-bit process on a 64-bit Windows.
bool RCIsWow64Process(HANDLE process);
bool RCIsWow64();
