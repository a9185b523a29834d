#pragma once
// Reports every file under a list of root paths (a root may itself be a
// file). Runs on the enumeration thread; the roots are added by the creator
// before the first run and every run walks all of them again.
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"
#include "foundation/RCFileEnumeratorCallback.h"

namespace RC {

class RCAvEnumLocalFile : public RCAvEnumIMPL, public RCFileEnumeratorCallback {
public:
    RCAvEnumLocalFile(int32_t scanGroup, int32_t showType);

    // An empty path is ignored.
    void AddPath(const std::wstring& path);

    uint32_t OnFindFile(const std::wstring& directory, const std::wstring& name,
                        const WIN32_FIND_DATAW& entry) override;

protected:
    void EnumImpl() override;

    // Entries the walk hands over that are not files to report.
    static bool IsDirectoryEntry(const std::wstring& name, const WIN32_FIND_DATAW& entry);

private:
    std::vector<std::wstring> roots_;
};

} // namespace RC
