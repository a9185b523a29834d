#include "foundation/RCSafeThreadMgr.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCNoThrowBoundary.h"

#include <algorithm>

namespace RC {

RCSafeThreadMgr::RCSafeThreadMgr() : stopEvent_(true) {}

RCSafeThreadMgr::~RCSafeThreadMgr()
{
    // The workers point at this object: they must be gone before it is.
    if (!threads_.empty())
        Stop();
}

bool RCSafeThreadMgr::Start(RCSafeTaskQueue* queue)
{
    if (!queue)
        return false;
    queue_ = queue;
    stopEvent_.Reset();
    threads_.clear();
    for (int32_t i = 0; i < threadCount_; ++i) {
        RCRefPtr<RCThread> thread(new RCThread(&RCSafeThreadMgr::WorkerRoutine, this));
        threads_.push_back(thread);
        // Stop joins only running workers; queued tasks wait for those that did start.
        if (!thread->Start())
            RC_LOG(Failure, L"worker %d not started", static_cast<int>(i));
    }
    return true;
}

void __cdecl RCSafeThreadMgr::WorkerRoutine(void* context)
{
    static_cast<RCSafeThreadMgr*>(context)->Work();
}

void RCSafeThreadMgr::Work()
{
    const HANDLE events[2] = {stopEvent_.GetHandle(), queue_->GetAvailableEvent()};
    if (!events[0] || !events[1])
        return;
    while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        RCRefPtr<RCSafeTask> task = queue_->Pop();
        if (!task)
            continue;
        // A task that throws has ended: the worker takes it out of the
        // running list, which Stop and CancelTask call into, and goes on.
        RCNoThrowBoundary("RCSafeThreadMgr task", [&] {
            {
                RCAutoLock guard(lock_);
                runningTasks_.push_back(task.Get());
            }
            task->Run(0);
        });
        {
            RCAutoLock guard(lock_);
            auto it = std::find(runningTasks_.begin(), runningTasks_.end(), task.Get());
            if (it != runningTasks_.end())
                runningTasks_.erase(it);
        }
    }
}

bool RCSafeThreadMgr::Stop()
{
    stopEvent_.Set();
    {
        RCAutoLock guard(lock_);
        for (RCSafeTask* task : runningTasks_)
            task->Cancel(0);
    }
    for (RCRefPtr<RCThread>& thread : threads_) {
        if (thread->IsRunning())
            thread->Join();
    }
    threads_.clear();
    return true;
}

int RCSafeThreadMgr::CancelTask(uint32_t taskId)
{
    if (taskId == 0 || !queue_)
        return 0;
    if (queue_->Remove(taskId))
        return 2;
    RCAutoLock guard(lock_);
    for (RCSafeTask* task : runningTasks_) {
        if (task->GetTaskId() == taskId) {
            task->Cancel(0);
            return 1;
        }
    }
    return 0;
}

} // namespace RC
