#pragma once

#include "foundation/RCNonCopyable.h"

namespace RC {

// The intrusive count behind every shared object. A new object has count 0:
// the first holder (RCRefPtr) takes it to 1, and the Release that brings it
// back to 0 deletes the object on the calling thread.
class RCRefCounted : private RCNonCopyable {
public:
    RCRefCounted() = default;
    virtual ~RCRefCounted() = default;

    // Deletes the object through its most derived destructor.
    virtual void Destroy();

    // Returns the count as it was before the addition.
    long AddRef();
    // Returns the new count; at 0 the object is gone and the result is moot.
    long Release();
    // A snapshot only: another thread may change it at once.
    long GetRefCount() const;

private:
    volatile long refCount_ = 0;
};

} // namespace RC
