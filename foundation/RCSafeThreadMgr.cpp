#include "foundation/RCSafeThreadMgr.h"

#include "foundation/RCAutoLock.h"

#include <algorithm>

namespace RC {

RCSafeThreadMgr::RCSafeThreadMgr() : m_stopEvent(true) {}

RCSafeThreadMgr::~RCSafeThreadMgr()
{
    // The workers point at this object: they must be gone before it is.
    if (!m_threads.empty())
        Stop();
}

bool RCSafeThreadMgr::Start(RCSafeTaskQueue* queue)
{
    if (!queue)
        return false;
    m_queue = queue;
    m_stopEvent.Reset();
    m_threads.clear();
    for (int32_t i = 0; i < m_threadCount; ++i) {
        RCRefPtr<RCThread> thread(new RCThread(&RCSafeThreadMgr::WorkerRoutine, this));
        m_threads.push_back(thread);
        thread->Start();
    }
    return true;
}

void __cdecl RCSafeThreadMgr::WorkerRoutine(void* context)
{
    static_cast<RCSafeThreadMgr*>(context)->Work();
}

void RCSafeThreadMgr::Work()
{
    const HANDLE events[2] = {m_stopEvent.GetHandle(), m_queue->GetAvailableEvent()};
    if (!events[0] || !events[1])
        return;
    while (::WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        RCRefPtr<RCSafeTask> task = m_queue->Pop();
        if (!task)
            continue;
        {
            RCAutoLock guard(m_lock);
            m_runningTasks.push_back(task.Get());
        }
        task->Run(0);
        {
            RCAutoLock guard(m_lock);
            auto it = std::find(m_runningTasks.begin(), m_runningTasks.end(), task.Get());
            if (it != m_runningTasks.end())
                m_runningTasks.erase(it);
        }
    }
}

bool RCSafeThreadMgr::Stop()
{
    m_stopEvent.Set();
    {
        RCAutoLock guard(m_lock);
        for (RCSafeTask* task : m_runningTasks)
            task->Cancel(0);
    }
    for (RCRefPtr<RCThread>& thread : m_threads) {
        if (thread->IsRunning())
            thread->Join();
    }
    m_threads.clear();
    return true;
}

int RCSafeThreadMgr::CancelTask(uint32_t taskId)
{
    if (taskId == 0 || !m_queue)
        return 0;
    if (m_queue->Remove(taskId))
        return 2;
    RCAutoLock guard(m_lock);
    for (RCSafeTask* task : m_runningTasks) {
        if (task->GetTaskId() == taskId) {
            task->Cancel(0);
            return 1;
        }
    }
    return 0;
}

} // namespace RC
