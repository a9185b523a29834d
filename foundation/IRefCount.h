#pragma once

namespace RC {

// Interfaces shared by several owners derive from this and add their own
// operations after these. The counting rules are those of RCRefCounted.
class IRefCount {
public:
    virtual long AddRef() = 0;
    virtual long Release() = 0;
    virtual long GetRefCount() = 0;
    virtual ~IRefCount() = default;
};

} // namespace RC
