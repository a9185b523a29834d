#include "substitute/scan/TestControls.h"

#include "substitute/system/TextCompare.h"

#include <cwctype>

namespace Substitute {

namespace {

std::wstring_view Trim(std::wstring_view text)
{
    while (!text.empty() && std::iswspace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && std::iswspace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::uint32_t ToNumber(std::wstring_view text)
{
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9' || value > 100000000)
            return 0;
        value = value * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    return value;
}

} // namespace

TestControls TestControls::Parse(std::wstring_view text)
{
    TestControls controls;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring_view::npos)
            end = text.size();
        const std::wstring_view line = Trim(text.substr(start, end - start));
        start = end + 1;
        const std::size_t equals = line.find(L'=');
        if (line.empty() || line.front() == L';' || line.front() == L'#' || line.front() == L'[' ||
            equals == std::wstring_view::npos)
            continue;
        const std::wstring_view key = Trim(line.substr(0, equals));
        const std::wstring_view value = Trim(line.substr(equals + 1));
        if (EqualsNoCase(key, L"DelayMs"))
            controls.delayMs_ = ToNumber(value);
        else if (EqualsNoCase(key, L"Workers"))
            controls.workers_ = ToNumber(value);
        else if (value.empty())
            continue;
        else if (EqualsNoCase(key, L"NeverAnswer"))
            controls.neverAnswer_.emplace_back(value);
        else if (EqualsNoCase(key, L"AnswerTwice"))
            controls.answerTwice_.emplace_back(value);
        else if (EqualsNoCase(key, L"Refuse"))
            controls.refuse_.emplace_back(value);
    }
    return controls;
}

bool TestControls::Matches(const std::vector<std::wstring>& entries, std::wstring_view path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::wstring_view fileName = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
    for (const std::wstring& entry : entries) {
        const bool nameOnly = entry.find_first_of(L"\\/") == std::wstring::npos;
        if (EqualsNoCase(entry, nameOnly ? fileName : path))
            return true;
    }
    return false;
}

} // namespace Substitute
