#pragma once

#include "foundation/IRefCount.h"
#include "foundation/RCRefCounted.h"

namespace RC {

// Implements the counting slots of a shared interface T (derived from
// IRefCount) on the count of RCRefCounted.
template <typename T>
class RCRefCountImpl1 : public T, private RCRefCounted {
public:
    RCRefCountImpl1() = default;
    ~RCRefCountImpl1() override = default;

    long AddRef() override { return RCRefCounted::AddRef(); }
    long Release() override { return RCRefCounted::Release(); }
    long GetRefCount() override { return RCRefCounted::GetRefCount(); }
};

} // namespace RC
