#pragma once

#include <cstdarg>
#include <string>

// printf-style formatting of wide text with the system's rules: "%s" takes a
// wide string. Text up to 1023 characters is formatted on the stack; longer
// text goes to the heap. A null or empty format, or a format the values do
// not fit, gives an empty result.
void RCFormatString(std::wstring& out, const wchar_t* format, ...);
void RCFormatStringV(std::wstring& out, const wchar_t* format, va_list values);
