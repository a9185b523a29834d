#pragma once
// The binding to one engine library in the host executable's folder. One
// process-wide instance per library (RCHalvaneWrap, RCQuentorWrap), created on
// first request and loaded on the first Init; a library that is missing or
// fails to load is never tried again in this process.
//
// Init is serialised by the binding's own lock and may come from any thread;
// createObj and destroyObj are read only after a true Init.
#include <windows.h>

#include <string>

#include "engine/EngineObjectIds.h"
#include "foundation/RCCriticalSection.h"
#include "foundation/RCHandles.h"

namespace RC {

class RCWrapImpl {
public:
    explicit RCWrapImpl(std::wstring dllName);
    RCWrapImpl(const RCWrapImpl&) = delete;
    RCWrapImpl& operator=(const RCWrapImpl&) = delete;

    // True when the library is loaded (now or before).
    [[nodiscard]] bool Init();

    // Each may be null: a missing export means no object of that library.
    CreateObjFn createObj = nullptr;
    DestroyObjFn destroyObj = nullptr;

private:
    std::wstring dllName_;
    unique_hmodule module_;
    bool loadFailed_ = false;
    RCCriticalSection lock_;
};

RCWrapImpl* RCHalvaneWrap();
RCWrapImpl* RCQuentorWrap();

// Creates an engine object through a binding: null when the library, its
// export or the object is not to be had.
template <class T>
T* RCCreateEngineObject(RCWrapImpl* binding, uint32_t objectId)
{
    if (binding == nullptr || !binding->Init() || binding->createObj == nullptr)
        return nullptr;
    void* object = nullptr;
    return binding->createObj(objectId, &object) == 0 ? static_cast<T*>(object) : nullptr;
}

// Destroys with the id it was created with, and forgets the pointer.
template <class T>
void RCDestroyEngineObject(RCWrapImpl* binding, uint32_t objectId, T*& object)
{
    if (object != nullptr && binding != nullptr && binding->destroyObj != nullptr)
        binding->destroyObj(objectId, object);
    object = nullptr;
}

} // namespace RC
