#pragma once
// Walks its roots like RCAvEnumLocalFile but reads every small file as a
// shortcut and reports the shortcut's target, with the shortcut's own path
// as the sub item. Its scan group is always the shortcuts' group.
#include <cstdint>
#include <string>

#include "Src/Engine/Enumerator/RCAvEnumLocalFile.h"

namespace RC {

class RCAvEnumLocalLnkFile : public RCAvEnumLocalFile {
public:
    static constexpr int32_t kScanGroup = 0x40;
    // Larger files are not shortcuts worth parsing.
    static constexpr uint64_t kMaxLinkFileSize = 10000;

    RCAvEnumLocalLnkFile(int32_t scanGroup, int32_t showType);

    uint32_t OnFindFile(const std::wstring& directory, const std::wstring& name,
                        const WIN32_FIND_DATAW& entry) override;

    // The target of a shell-link file: the path of its ID list through the
    // shell, else its LinkInfo local base path. True with an empty target
    // for a file that is not a shell link; false for one that cannot be read.
    // Needs OLE on the calling thread for the ID list.
    static bool ParseLink(const std::wstring& path, std::wstring& target);
    // The LinkInfo local base path at position of the link's bytes.
    static bool ReadLinkInfoPath(const uint8_t* data, size_t size, size_t position, std::wstring& target);
};

} // namespace RC
