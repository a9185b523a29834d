#pragma once
// Decides which enumerated files go on to the engine. Created by the scan
// controller and shared with whoever filters on its behalf, hence counted.
#include <string>

#include "foundation/IRefCount.h"

namespace RC {

class IAvEnumFileFilter : public IRefCount {
public:
    // True when the file is to be dropped.
    virtual bool IsFileFiltered(const std::wstring& path) = 0;
};

} // namespace RC
