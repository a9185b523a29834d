#pragma once

#include <windows.h>

#include <string>

// Conversions between UTF-16 and 8-bit text. A failed conversion gives an
// empty text.
//
// A process may set a default code page: 8-bit text said to be in the ANSI
// code page (0) is then read with the default first, and with the ANSI code
// page only if that fails.

void RCSetDefaultCodePage(UINT codePage);
UINT RCGetDefaultCodePage();

std::wstring RCMultiByteToWide(const char* text, size_t length, UINT codePage);
std::wstring RCUtf8ToWide(const std::string& text);
std::wstring RCAnsiToWide(const char* text);

std::string RCWideToMultiByte(const std::wstring& text, UINT codePage);
std::string RCWideToUtf8(const std::wstring& text);
