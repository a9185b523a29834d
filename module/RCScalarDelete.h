#pragma once
// MSVC gives a class with a virtual destructor one vtable slot, its "scalar
// deleting destructor": destroy, then free the memory when bit 0 of the flags
// is set. Boundary interfaces declare that slot explicitly; this is its body.
#include <new>

namespace RC {

template <class T>
void* RCScalarDeletingDestroy(T* object, unsigned flags)
{
    object->~T();
    if (flags & 1)
        ::operator delete(object);
    return object;
}

} // namespace RC
