#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace RC {

// Receives the files of a directory walk (RCEnumerateFiles). Answering a
// value other than 0 ends the walk, which returns that value.
class RCFileEnumeratorCallback {
public:
    virtual uint32_t OnFindFile(const std::wstring& directory, const std::wstring& name,
                                const WIN32_FIND_DATAW& entry) = 0;

protected:
    ~RCFileEnumeratorCallback() = default;
};

} // namespace RC
