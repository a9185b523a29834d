#pragma once

#include "foundation/IRefCount.h"

#include <cstdint>

namespace RC {

// A unit of work for RCSafeThreadMgr. The queue gives it its id when it is
// pushed; the pool runs it on a worker and may cancel it from another thread
// while it runs, so Cancel must be safe to call concurrently with Run.
class RCSafeTask : public IRefCount {
public:
    uint32_t GetTaskId() const { return taskId_; }
    void SetTaskId(uint32_t id) { taskId_ = id; }

    virtual void Run(int reserved) = 0;
    virtual void Cancel(int reserved) = 0;

private:
    uint32_t taskId_ = 0;
};

} // namespace RC
