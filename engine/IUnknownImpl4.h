#pragma once

#include "engine/RCStreamInterfaces.h"
#include "foundation/RCRefCounted.h"

namespace RC {

// One reference count and one QueryInterface for an object that implements
// four interfaces; id 0 answers the first interface.
template <typename I1, typename I2, typename I3, typename I4>
class IUnknownImpl4 : private RCRefCounted, public I1, public I2, public I3, public I4 {
public:
    uint32_t QueryInterface(uint32_t interfaceId, void** out) override
    {
        if (!out)
            return RC_STATUS_INVALID_ARGUMENT;
        IUnknown* found = nullptr;
        if (interfaceId == 0 || interfaceId == I1::kInterfaceId)
            found = static_cast<I1*>(this);
        else if (interfaceId == I2::kInterfaceId)
            found = static_cast<I2*>(this);
        else if (interfaceId == I3::kInterfaceId)
            found = static_cast<I3*>(this);
        else if (interfaceId == I4::kInterfaceId)
            found = static_cast<I4*>(this);
        else
            return RC_STATUS_NO_INTERFACE;
        found->AddRef();
        *out = found;
        return RC_STATUS_OK;
    }

    long AddRef() override { return RCRefCounted::AddRef(); }
    long Release() override { return RCRefCounted::Release(); }
    long GetRefCount() const { return RCRefCounted::GetRefCount(); }
};

} // namespace RC
