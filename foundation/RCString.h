#pragma once

#include <string>

// Small wide-text helpers. Counts and positions are signed so that callers
// can pass computed values; a negative one yields an empty text.

void RCTrimLeft(std::wstring& text, const std::wstring& characters = L" \t\r\n");
void RCTrimRight(std::wstring& text, const std::wstring& characters = L" \t\r\n");
void RCTrim(std::wstring& text, const std::wstring& characters = L" \t\r\n");

std::wstring RCLeft(const std::wstring& text, int count);
std::wstring RCRight(const std::wstring& text, int count);
std::wstring RCMid(const std::wstring& text, int start, int count);

void RCReplaceChar(std::wstring& text, wchar_t from, wchar_t to);

// Equal when every character is equal as it is or after towupper.
bool RCEqualsNoCase(const wchar_t* left, const wchar_t* right);
bool RCEqualsNoCase(const std::wstring& left, const std::wstring& right);

// Compares at most count characters after towupper, stopping after a
// terminator of the first text; <0, 0 or >0 like wcsncmp.
int RCCompareNoCase(const wchar_t* left, const wchar_t* right, size_t count);

// Index of the first occurrence of part, compared after towupper, or -1.
int RCFindNoCase(const std::wstring& text, const std::wstring& part);
// Replaces the first such occurrence; no occurrence, no change.
void RCReplaceNoCase(std::wstring& text, const std::wstring& what, const std::wstring& with);
