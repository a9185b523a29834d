#include "foundation/RCSafeTaskQueue.h"

#include "foundation/RCAutoLock.h"

namespace RC {

RCSafeTaskQueue::RCSafeTaskQueue() : available_(false) {}

RCSafeTaskQueue::~RCSafeTaskQueue() = default;

uint32_t RCSafeTaskQueue::Push(RCSafeTask* task)
{
    if (!task)
        return 0;
    RCAutoLock guard(lock_);
    ++lastTaskId_;
    task->SetTaskId(lastTaskId_);
    tasks_.emplace_back(task);
    available_.Set();
    return lastTaskId_;
}

RCRefPtr<RCSafeTask> RCSafeTaskQueue::Pop()
{
    RCAutoLock guard(lock_);
    if (tasks_.empty())
        return RCRefPtr<RCSafeTask>();
    RCRefPtr<RCSafeTask> task = std::move(tasks_.front());
    tasks_.pop_front();
    if (!tasks_.empty())
        available_.Set();
    return task;
}

bool RCSafeTaskQueue::Remove(uint32_t taskId)
{
    RCRefPtr<RCSafeTask> removed;
    RCAutoLock guard(lock_);
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (*it && (*it)->GetTaskId() == taskId) {
            removed = std::move(*it);
            tasks_.erase(it);
            return true;
        }
    }
    return false;
}

void RCSafeTaskQueue::Clear()
{
    RCAutoLock guard(lock_);
    tasks_.clear();
}

} // namespace RC
