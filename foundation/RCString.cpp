#include "foundation/RCString.h"

#include <cwctype>

void RCTrimLeft(std::wstring& text, const std::wstring& characters)
{
    text.erase(0, text.find_first_not_of(characters));
}

void RCTrimRight(std::wstring& text, const std::wstring& characters)
{
    const size_t last = text.find_last_not_of(characters);
    text.erase(last == std::wstring::npos ? 0 : last + 1);
}

void RCTrim(std::wstring& text, const std::wstring& characters)
{
    RCTrimRight(text, characters);
    RCTrimLeft(text, characters);
}

std::wstring RCLeft(const std::wstring& text, int count)
{
    if (count < 0)
        return std::wstring();
    return text.substr(0, static_cast<size_t>(count));
}

std::wstring RCRight(const std::wstring& text, int count)
{
    if (count < 0)
        return std::wstring();
    const size_t n = static_cast<size_t>(count) < text.size() ? static_cast<size_t>(count) : text.size();
    return text.substr(text.size() - n);
}

std::wstring RCMid(const std::wstring& text, int start, int count)
{
    if (start < 0 || static_cast<size_t>(start) >= text.size() || count < 0)
        return std::wstring();
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(count));
}

void RCReplaceChar(std::wstring& text, wchar_t from, wchar_t to)
{
    for (wchar_t& c : text) {
        if (c == from)
            c = to;
    }
}

bool RCEqualsNoCase(const wchar_t* left, const wchar_t* right)
{
    if (left == right)
        return true;
    if (!left || !right)
        return false;
    for (;; ++left, ++right) {
        if (*left != *right && std::towupper(*left) != std::towupper(*right))
            return false;
        if (*left == L'\0')
            return true;
    }
}

bool RCEqualsNoCase(const std::wstring& left, const std::wstring& right)
{
    if (left.size() != right.size())
        return false;
    for (size_t i = 0; i < left.size(); ++i) {
        if (left[i] != right[i] && std::towupper(left[i]) != std::towupper(right[i]))
            return false;
    }
    return true;
}

int RCCompareNoCase(const wchar_t* left, const wchar_t* right, size_t count)
{
    if (count == 0 || left == right)
        return 0;
    if (!left || !right)
        return left ? 1 : -1;
    for (size_t i = 0; i < count; ++i) {
        // Paths compared with each other share long prefixes: equal units
        // need no case mapping, and towupper is the costly part.
        if (left[i] != right[i]) {
            const wint_t a = std::towupper(left[i]);
            const wint_t b = std::towupper(right[i]);
            if (a != b)
                return a < b ? -1 : 1;
        }
        if (left[i] == L'\0')
            break;
    }
    return 0;
}

int RCFindNoCase(const std::wstring& text, const std::wstring& part)
{
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        size_t n = 0;
        while (n < part.size() && std::towupper(text[i + n]) == std::towupper(part[n]))
            ++n;
        if (n == part.size())
            return static_cast<int>(i);
    }
    return -1;
}

void RCReplaceNoCase(std::wstring& text, const std::wstring& what, const std::wstring& with)
{
    const int index = RCFindNoCase(text, what);
    if (index >= 0)
        text.replace(static_cast<size_t>(index), what.size(), with);
}
