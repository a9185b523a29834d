#include "foundation/RCSafeTaskQueue.h"

#include "foundation/RCAutoLock.h"

namespace RC {

RCSafeTaskQueue::RCSafeTaskQueue() : m_available(false) {}

RCSafeTaskQueue::~RCSafeTaskQueue() = default;

uint32_t RCSafeTaskQueue::Push(RCSafeTask* task)
{
    if (!task)
        return 0;
    RCAutoLock guard(m_lock);
    ++m_lastTaskId;
    task->SetTaskId(m_lastTaskId);
    m_tasks.emplace_back(task);
    m_available.Set();
    return m_lastTaskId;
}

RCRefPtr<RCSafeTask> RCSafeTaskQueue::Pop()
{
    RCAutoLock guard(m_lock);
    if (m_tasks.empty())
        return RCRefPtr<RCSafeTask>();
    RCRefPtr<RCSafeTask> task = std::move(m_tasks.front());
    m_tasks.pop_front();
    if (!m_tasks.empty())
        m_available.Set();
    return task;
}

bool RCSafeTaskQueue::Remove(uint32_t taskId)
{
    RCRefPtr<RCSafeTask> removed;
    RCAutoLock guard(m_lock);
    for (auto it = m_tasks.begin(); it != m_tasks.end(); ++it) {
        if (*it && (*it)->GetTaskId() == taskId) {
            removed = std::move(*it);
            m_tasks.erase(it);
            return true;
        }
    }
    return false;
}

void RCSafeTaskQueue::Clear()
{
    RCAutoLock guard(m_lock);
    m_tasks.clear();
}

} // namespace RC
