#pragma once

#include "foundation/RCCriticalSection.h"
#include "foundation/RCEvent.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCSafeTaskQueue.h"
#include "foundation/RCThread.h"

#include <cstdint>
#include <vector>

namespace RC {

// Worker threads that run the tasks of one RCSafeTaskQueue. The owner calls
// Start and Stop from one thread; CancelTask may come from any thread. The
// queue is not owned and must outlive the workers (Stop, or destruction).
class RCSafeThreadMgr {
public:
    RCSafeThreadMgr();
    virtual ~RCSafeThreadMgr();

    bool Start(RCSafeTaskQueue* queue);
    // Cancels the running tasks and joins the workers; queued tasks stay queued.
    bool Stop();
    // 2 when the task was still queued (now removed), 1 when it was running
    // (now cancelled), 0 when there is no such task.
    int CancelTask(uint32_t taskId);

    // Workers started by the next Start; 1 unless changed.
    void SetThreadCount(int count) { threadCount_ = count; }

private:
    static void __cdecl WorkerRoutine(void* context);
    void Work();

    RCEvent stopEvent_;
    std::vector<RCRefPtr<RCThread>> threads_;
    RCSafeTaskQueue* queue_ = nullptr;
    std::vector<RCSafeTask*> runningTasks_;
    RCCriticalSection lock_;
    int32_t threadCount_ = 1;
};

} // namespace RC
