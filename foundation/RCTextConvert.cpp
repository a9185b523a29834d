#include "foundation/RCTextConvert.h"

#include <atomic>
#include <climits>
#include <cstring>

namespace {

std::atomic<UINT> s_defaultCodePage{0};

bool Convert(const char* text, size_t length, UINT codePage, DWORD flags, std::wstring& wide)
{
    wide.clear();
    if (length == 0)
        return true;
    if (length > INT_MAX)
        return false;
    const int n = ::MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), nullptr, 0);
    if (n <= 0)
        return false;
    wide.resize(static_cast<size_t>(n));
    if (::MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), &wide[0], n) != n) {
        wide.clear();
        return false;
    }
    return true;
}

} // namespace

void RCSetDefaultCodePage(UINT codePage)
{
    s_defaultCodePage = codePage;
}

UINT RCGetDefaultCodePage()
{
    return s_defaultCodePage;
}

std::wstring RCMultiByteToWide(const char* text, size_t length, UINT codePage)
{
    std::wstring wide;
    if (!text)
        return wide;
    const UINT fallback = s_defaultCodePage;
    // Strict with the default code page, so that text it cannot read falls
    // back to the ANSI code page instead of turning into replacement marks.
    if (codePage == CP_ACP && fallback != 0 && Convert(text, length, fallback, MB_ERR_INVALID_CHARS, wide))
        return wide;
    Convert(text, length, codePage, 0, wide);
    return wide;
}

std::wstring RCUtf8ToWide(const std::string& text)
{
    return RCMultiByteToWide(text.data(), text.size(), CP_UTF8);
}

std::wstring RCAnsiToWide(const char* text)
{
    return text ? RCMultiByteToWide(text, std::strlen(text), CP_ACP) : std::wstring();
}

std::string RCWideToMultiByte(const std::wstring& text, UINT codePage)
{
    std::string narrow;
    if (text.empty() || text.size() > INT_MAX)
        return narrow;
    const int length = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return narrow;
    narrow.resize(static_cast<size_t>(n));
    if (::WideCharToMultiByte(codePage, 0, text.data(), length, &narrow[0], n, nullptr, nullptr) != n)
        narrow.clear();
    return narrow;
}

std::string RCWideToUtf8(const std::wstring& text)
{
    return RCWideToMultiByte(text, CP_UTF8);
}
