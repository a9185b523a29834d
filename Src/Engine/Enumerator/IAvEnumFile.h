#pragma once
// One kind of scan target turned into a stream of file paths. Shared by the
// controller's map and the enumeration thread's task list, hence counted.
#include <cstdint>

#include "Src/Engine/Enumerator/ItemStats.h"
#include "foundation/IRefCount.h"

namespace RC {

class IAvEnumFileEvent;

class IAvEnumFile : public IRefCount {
public:
    // Returns the sink passed; the sink is not owned.
    virtual IAvEnumFileEvent* SetEnumEvent(IAvEnumFileEvent* sink) = 0;
    // Runs the enumerator once on the calling (enumeration) thread.
    virtual bool Enum() = 0;
    // May come from any thread; takes effect at the walk's next test.
    virtual bool Stop() = 0;
    virtual int32_t GetScanGroup() = 0;
    virtual int32_t GetShowType() = 0;
    virtual ItemStats* GetItemStats() = 0;
};

} // namespace RC
