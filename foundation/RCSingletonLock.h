#pragma once

#include "foundation/RCAutoLock.h"

#include <atomic>

// The one process-wide lock under which every singleton of the library is
// first constructed. It exists from library load to unload.
class RCSingletonLock {
public:
    static RCCriticalSection& Get();

    // The process-wide instance of T, constructed on first use under this
    // lock; later calls cost one atomic read, which matters for the logger.
    template <typename T>
    static T& Instance()
    {
        static std::atomic<T*> s_instance{nullptr};
        T* instance = s_instance.load(std::memory_order_acquire);
        if (!instance) {
            RCAutoLock guard(Get());
            static T s_object;
            instance = &s_object;
            s_instance.store(instance, std::memory_order_release);
        }
        return *instance;
    }
};
