#include "foundation/RCRefCounted.h"

#include <windows.h>

namespace RC {

void RCRefCounted::Destroy()
{
    delete this;
}

long RCRefCounted::AddRef()
{
    return ::InterlockedExchangeAdd(&refCount_, 1);
}

long RCRefCounted::Release()
{
    const long count = ::InterlockedExchangeAdd(&refCount_, -1) - 1;
    if (count == 0)
        Destroy();
    return count;
}

long RCRefCounted::GetRefCount() const
{
    return refCount_;
}

} // namespace RC
