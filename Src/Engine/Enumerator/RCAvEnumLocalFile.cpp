#include "Src/Engine/Enumerator/RCAvEnumLocalFile.h"

#include "foundation/RCDebugger.h"
#include "foundation/RCFileEnumerator.h"
#include "foundation/RCFileSystem.h"

namespace RC {

RCAvEnumLocalFile::RCAvEnumLocalFile(int32_t scanGroup, int32_t showType) : RCAvEnumIMPL(scanGroup, showType) {}

void RCAvEnumLocalFile::AddPath(const std::wstring& path)
{
    if (!path.empty())
        roots_.push_back(path);
}

void RCAvEnumLocalFile::EnumImpl()
{
    for (const std::wstring& root : roots_) {
        if (IsStopped())
            break;
        try {
            if (RCIsFile(root)) {
                if (!FireFileEnumEvent(root, std::wstring()))
                    break;
            } else if (RCIsDirectory(root)) {
                RCEnumerateFiles(root, this);
            }
        } catch (...) {
            RC_LOG(Failure, L"RCAvEnumLocalFile::EnumImpl Recusive exception");
        }
    }
}

bool RCAvEnumLocalFile::IsDirectoryEntry(const std::wstring& name, const WIN32_FIND_DATAW& entry)
{
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..";
}

uint32_t RCAvEnumLocalFile::OnFindFile(const std::wstring& directory, const std::wstring& name,
                                       const WIN32_FIND_DATAW& entry)
{
    if (IsStopped())
        return 1;
    if (IsDirectoryEntry(name, entry))
        return 0;
    try {
        return FireFileEnumEvent(RCJoinFoundEntry(directory, name), std::wstring()) ? 0 : 1;
    } catch (...) {
        RC_LOG(Failure, L"RCAvEnumLocalFile::OnFindFile exception");
        return 1;
    }
}

} // namespace RC
