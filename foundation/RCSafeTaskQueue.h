#pragma once

#include "foundation/RCCriticalSection.h"
#include "foundation/RCEvent.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCSafeTask.h"

#include <cstdint>
#include <deque>

namespace RC {

// A thread-safe queue of tasks, each held by one reference. Ids start at 1
// and are never reused. The available event is auto-reset: Pop sets it again
// while tasks remain, so a worker woken by one signal finds the next task
// even when two were queued before anyone woke.
class RCSafeTaskQueue {
public:
    RCSafeTaskQueue();
    virtual ~RCSafeTaskQueue();

    // The new task's id; 0 for a null task.
    uint32_t Push(RCSafeTask* task);
    RCRefPtr<RCSafeTask> Pop();
    bool Remove(uint32_t taskId);
    void Clear();

    HANDLE GetAvailableEvent() const { return available_.GetHandle(); }

private:
    std::deque<RCRefPtr<RCSafeTask>> tasks_;
    RCCriticalSection lock_;
    RCEvent available_;
    uint32_t lastTaskId_ = 0;
};

} // namespace RC
