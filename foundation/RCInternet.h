#pragma once

#include <windows.h>

#include <string>

// Network-state queries through wininet, which is loaded only on first use:
// most processes that load the library never ask. Both answer 0 when wininet
// or the function is missing.

// Forces a connection to the URL's host; non-zero when it answers.
int RCInternetCheckConnection(const std::wstring& url);
int RCInternetGetConnectedState(DWORD* flags);
