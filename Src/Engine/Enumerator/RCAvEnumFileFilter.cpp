#include "Src/Engine/Enumerator/RCAvEnumFileFilter.h"

#include "foundation/RCExecutableImage.h"
#include "foundation/RCString.h"
#include "module/RCBusCodes.h"

namespace RC {

namespace {

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
    for (const wchar_t* known : kScannedExtensions) {
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
