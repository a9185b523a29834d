#include "Src/Engine/Enumerator/RCAvEnumFileFilter.h"

#include "foundation/RCExecutableImage.h"
#include "foundation/RCString.h"

namespace RC {

namespace {

const wchar_t* const kScanExtensions[] = {
    L".exe", L".dll", L".sys", L".com", L".cpl", L".vir", L".drv", L".scr",
    L".ocx", L".bat", L".cmd", L".pif", L".rar", L".zip", L".doc",
};

// The extension of the file-name part, dot included; empty when it has none.
std::wstring ExtensionOf(const std::wstring& path)
{
    const size_t nameStart = path.find_last_of(L"\\/");
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (nameStart != std::wstring::npos && dot < nameStart))
        return std::wstring();
    return path.substr(dot);
}

} // namespace

bool RCAvEnumFileFilter::IsScanExtension(const std::wstring& extension)
{
    for (const wchar_t* known : kScanExtensions) {
        if (RCEqualsNoCase(extension, std::wstring(known)))
            return true;
    }
    return false;
}

bool RCAvEnumFileFilter::IsFileFiltered(const std::wstring& path)
{
    const std::wstring extension = ExtensionOf(path);
    if (checkExtension && extension.size() == 4 && IsScanExtension(extension))
        return false;
    if (checkExecutableImage && RCIsExecutableImage(path))
        return false;
    return true;
}

} // namespace RC
