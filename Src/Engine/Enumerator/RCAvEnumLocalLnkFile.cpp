#include "Src/Engine/Enumerator/RCAvEnumLocalLnkFile.h"

#include <shlobj.h>

#include <vector>

#include "Src/Engine/Enumerator/RCShellLinkParser.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCFileEnumerator.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCModuleCache.h"
#include "foundation/RCOleInit.h"
#include "foundation/RCTextConvert.h"

namespace RC {

namespace {

// ParseLink may be called on any file; more than this is never a shortcut
// this walk would parse, and the parser treats the rest as missing.
constexpr DWORD kMaxReadBytes = 1024 * 1024;
constexpr size_t kIdListTail = 0x10000 + 0x1000;

bool ReadFileBytes(const std::wstring& path, std::vector<uint8_t>& bytes)
{
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size))
        return false;
    const DWORD wanted = size.QuadPart < kMaxReadBytes ? static_cast<DWORD>(size.QuadPart) : kMaxReadBytes;
    bytes.resize(wanted);
    DWORD total = 0;
    while (total < wanted) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + total, wanted - total, &read, nullptr))
            return false;
        if (read == 0)
            break;
        total += read;
    }
    bytes.resize(total);
    return true;
}

bool PathFromIdList(const std::vector<uint8_t>& idList, std::wstring& path)
{
    using GetPathFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, LPWSTR);
    if (!RCShellLinkParser::IsWellFormedIdList(idList.data(), idList.size()))
        return false;
    auto getPath = RCModuleCache::GetProc<GetPathFn>(L"Shell32.dll", "SHGetPathFromIDListW");
    if (!getPath)
        return false;
    // The list's sizes chain correctly, but the shell also trusts what the
    // items say about themselves: it reads fields at 16-bit offsets stored
    // inside an item. A zero tail wider than any such offset keeps those
    // reads inside the copy, where they find empty names.
    std::vector<uint8_t> items(idList);
    items.resize(items.size() + kIdListTail, 0);
    wchar_t buffer[MAX_PATH] = {};
    if (!getPath(reinterpret_cast<PCIDLIST_ABSOLUTE>(items.data()), buffer))
        return false;
    path = buffer;
    return true;
}

std::wstring AnsiToWide(const std::string& bytes)
{
    return bytes.empty() ? std::wstring() : RCAnsiToWide(bytes.c_str());
}

} // namespace

RCAvEnumLocalLnkFile::RCAvEnumLocalLnkFile(int32_t /*scanGroup*/, int32_t showType)
    : RCAvEnumLocalFile(kScanGroup, showType)
{
}

uint32_t RCAvEnumLocalLnkFile::OnFindFile(const std::wstring& directory, const std::wstring& name,
                                          const WIN32_FIND_DATAW& entry)
{
    if (IsStopped())
        return 1;
    if (IsDirectoryEntry(name, entry))
        return 0;
    try {
        const std::wstring link = RCJoinFoundEntry(directory, name);
        if (RCGetFileSize(link) > kMaxLinkFileSize)
            return 0;

        RCOleInit ole;
        std::wstring target;
        if (!ParseLink(link, target)) {
            RC_LOG(Progress, L"ParseLink failed");
            return 0;
        }
        return FireTranslatedPath(target, link) ? 0 : 1;
    } catch (...) {
        RC_LOG(Failure, L"RCAvEnumLocalFile::OnFindFile exception");
        return 1;
    }
}

bool RCAvEnumLocalLnkFile::ParseLink(const std::wstring& path, std::wstring& target)
{
    target.clear();
    if (path.empty() || !RCPathExists(path))
        return false;
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(path, bytes))
        return false;

    RCShellLinkParser::Link link;
    switch (RCShellLinkParser::Parse(bytes.data(), bytes.size(), link)) {
    case RCShellLinkParser::Result::NotShellLink:
        return true;
    case RCShellLinkParser::Result::Failed:
        return false;
    case RCShellLinkParser::Result::Parsed:
        break;
    }
    if (!link.idList.empty() && PathFromIdList(link.idList, target))
        return true;
    return ReadLinkInfoPath(bytes.data(), bytes.size(), link.linkInfoPosition, target);
}

bool RCAvEnumLocalLnkFile::ReadLinkInfoPath(const uint8_t* data, size_t size, size_t position, std::wstring& target)
{
    std::string bytes;
    const bool read = RCShellLinkParser::ReadLinkInfoPath(data, size, position, bytes);
    target = AnsiToWide(bytes);
    return read;
}

} // namespace RC
