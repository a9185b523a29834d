#include "module/RCModulePoster.h"

#include <new>
#include <utility>

#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCNoThrowBoundary.h"

namespace RC {

RCModulePoster::RCModulePoster() = default;

RCModulePoster::~RCModulePoster()
{
    Stop();
}

void RCModulePoster::Submit(Post post)
{
    const bool fromWorker = RCThread::IsCurrentWorker();
    {
        RCAutoLock guard(lock_);
        if (fromWorker || posting_ || !queue_.empty()) {
            if (EnsureThread()) {
                queue_.push_back(std::move(post));
                wake_.Set();
                return;
            }
            // Without a poster thread the post goes out here rather than not at all.
            RC_LOG(LostWork, L"Posting thread not started; posting on the calling thread");
        }
        ++directPosts_;
    }
    PostNow(post);
    {
        RCAutoLock guard(lock_);
        --directPosts_;
    }
    wake_.Set();
}

void RCModulePoster::Stop()
{
    RCRefPtr<RCThread> thread;
    {
        RCAutoLock guard(lock_);
        thread = thread_;
        stopping_ = true;
    }
    wake_.Set();
    if (thread)
        thread->Join();
    RCAutoLock guard(lock_);
    stopping_ = false;
}

bool RCModulePoster::EnsureThread()
{
    if (thread_ && thread_->IsRunning())
        return true;
    if (!thread_)
        thread_ = new (std::nothrow) RCThread(&RCModulePoster::Routine, this);
    return thread_ && thread_->Start();
}

void __cdecl RCModulePoster::Routine(void* context)
{
    static_cast<RCModulePoster*>(context)->Run();
}

void RCModulePoster::Run()
{
    for (;;) {
        Post next;
        {
            RCAutoLock guard(lock_);
            if (directPosts_ == 0 && !queue_.empty()) {
                next = std::move(queue_.front());
                queue_.pop_front();
                posting_ = true;
            } else if (stopping_ && queue_.empty()) {
                return;
            }
        }
        if (!next) {
            wake_.Wait();
            continue;
        }
        PostNow(next);
        RCAutoLock guard(lock_);
        posting_ = false;
    }
}

void RCModulePoster::PostNow(const Post& post)
{
    // A post that throws loses itself, never the ones after it.
    RCNoThrowBoundary("RCModulePoster::PostNow", post);
}

} // namespace RC
