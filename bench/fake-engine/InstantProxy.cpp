#include "bench/fake-engine/InstantProxy.h"

#include <cstring>

namespace Bench {

InstantProxy::~InstantProxy()
{
    Stop();
}

void InstantProxy::Start()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (started_)
        return;
    started_ = true;
    answerer_ = std::thread(&InstantProxy::AnswerLoop, this);
}

void InstantProxy::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        started_ = false;
    }
    queued_.notify_all();
    if (answerer_.joinable())
        answerer_.join();
}

bool InstantProxy::AddQuery(std::uint32_t taskId, const wchar_t* path)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!started_)
            return false;
        queue_.push_back(taskId);
    }
    queued_.notify_one();
    return true;
}

void InstantProxy::SetResultCallback(void* context, RC::ScanResultCallback callback)
{
    std::lock_guard<std::mutex> guard(lock_);
    context_ = context;
    callback_ = callback;
}

void InstantProxy::AnswerLoop()
{
    RC::ScanResult clean;
    std::memset(&clean, 0, sizeof clean);
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        queued_.wait(guard, [&] { return !queue_.empty() || !started_; });
        // Stop still answers what was accepted: every accepted query gets one answer.
        if (queue_.empty())
            return;
        const std::uint32_t taskId = queue_.front();
        queue_.pop_front();
        void* context = context_;
        RC::ScanResultCallback callback = callback_;
        guard.unlock();
        if (callback != nullptr)
            callback(context, taskId, L"", &clean);
        guard.lock();
    }
}

} // namespace Bench
