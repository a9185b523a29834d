#pragma once
// The file filter of a scan: keeps files whose extension is one the engine
// cares about and, when asked, files that are executable images whatever
// their name. It has no mutable state after set-up, so any thread may use it.
#include <cstdint>
#include <string>

#include "Src/Engine/Enumerator/IAvEnumFileFilter.h"
#include "foundation/RCRefCountImpl1.h"

namespace RC {

class RCAvEnumFileFilter : public RCRefCountImpl1<IAvEnumFileFilter> {
public:
    bool IsFileFiltered(const std::wstring& path) override;

    // The extension with its dot, compared case-insensitively.
    static bool IsScanExtension(const std::wstring& extension);

    // Size limits the controller sets; nothing reads them yet.
    uint32_t maxFileSize = 52428800;
    uint32_t minFileSize = 52428800;
    uint8_t checkExecutableImage = 0;
    uint8_t checkExtension = 1;
    uint8_t reserved = 0;
};

} // namespace RC
