#include "module/RCModulePoster.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <new>
#include <utility>
#include <vector>

#include "foundation/RCAutoLock.h"
#include "foundation/RCCriticalSection.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCEvent.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"
#include "foundation/RCThreadAnnotations.h"

namespace RC {

// Shared with the poster thread, which may outlive the poster while a host
// beyond the contract holds its last post.
struct RCModulePoster::Shared {
    struct Item {
        uint64_t sequence;
        Post post;
    };
    // What a poster thread starts with: it leaves when the generation moves on.
    struct ThreadContext {
        std::shared_ptr<Shared> shared;
        uint64_t generation;
    };

    RCCriticalSection lock;
    RCEvent wake{false}; // something for the poster thread to look at
    RCEvent idle{true};  // set while the poster thread has no post in flight
    std::deque<Item> queue RC_GUARDED_BY(lock);
    uint64_t lastQueued RC_GUARDED_BY(lock) = 0;
    // Host threads inside an entry, once for each level.
    std::vector<DWORD> entries RC_GUARDED_BY(lock);
    int hostsPosting RC_GUARDED_BY(lock) = 0;
    bool threadPosting RC_GUARDED_BY(lock) = false;
    bool startFailureLogged RC_GUARDED_BY(lock) = false;
    uint64_t generation RC_GUARDED_BY(lock) = 0;
    RCRefPtr<RCThread> thread RC_GUARDED_BY(lock); // the running poster thread, if any

    bool InEntry(DWORD threadId) const RC_REQUIRES(lock)
    {
        return std::find(entries.begin(), entries.end(), threadId) != entries.end();
    }
    bool EnsureThread(const std::shared_ptr<Shared>& self) RC_REQUIRES(lock);
    static void __cdecl Routine(void* context);
    void Run(uint64_t myGeneration) RC_EXCLUDES(lock);
    // On a host thread: posts the queue up to what is queued now.
    // counted: the caller has already counted itself in hostsPosting, under
    // the lock it queued its post with, so the poster thread never takes it.
    void PostAsHost(bool counted = false) RC_EXCLUDES(lock);
    static void PostNow(const Post& post);
};

bool RCModulePoster::Shared::EnsureThread(const std::shared_ptr<Shared>& self)
{
    if (thread)
        return true;
    std::unique_ptr<ThreadContext> context(new (std::nothrow) ThreadContext{self, generation});
    RCRefPtr<RCThread> started(context ? new (std::nothrow) RCThread(&Shared::Routine, context.get()) : nullptr);
    if (!started || !started->Start()) {
        // The posts wait in the queue for the host's next call into the module.
        if (!startFailureLogged)
            RC_LOG(LostWork, L"Posting thread not started; posts wait for the host's next call");
        startFailureLogged = true;
        return false;
    }
    (void)context.release();
    thread = started;
    return true;
}

void __cdecl RCModulePoster::Shared::Routine(void* context)
{
    std::unique_ptr<ThreadContext> owned(static_cast<ThreadContext*>(context));
    owned->shared->Run(owned->generation);
}

void RCModulePoster::Shared::Run(uint64_t myGeneration)
{
    for (;;) {
        Post next;
        {
            RCAutoLock guard(lock);
            if (generation != myGeneration)
                return; // quiesced; a later start is another thread's
            if (!queue.empty() && entries.empty() && hostsPosting == 0 && !threadPosting) {
                next = std::move(queue.front().post);
                queue.pop_front();
                threadPosting = true;
                idle.Reset();
            }
        }
        if (!next) {
            wake.Wait();
            continue;
        }
        PostNow(next);
        RCAutoLock guard(lock);
        threadPosting = false;
        idle.Set();
    }
}

void RCModulePoster::Shared::PostAsHost(bool counted)
{
    uint64_t target;
    bool threadInFlight;
    {
        RCAutoLock guard(lock);
        target = lastQueued;
        threadInFlight = threadPosting && !queue.empty();
        if (!counted)
            ++hostsPosting;
    }
    // The poster thread's post came first. A host that holds it up while it
    // delivers would wait for ever for ours behind it: they are left to the
    // poster thread, which posts them once the host lets its post go.
    if (threadInFlight && !idle.Wait(kInFlightWaitMs)) {
        RC_LOG(Progress, L"A post is still in the host after %u ms; the poster thread posts the rest",
               static_cast<unsigned>(kInFlightWaitMs));
        RCAutoLock guard(lock);
        --hostsPosting;
        return;
    }
    for (;;) {
        Post next;
        {
            RCAutoLock guard(lock);
            if (queue.empty() || queue.front().sequence > target) {
                --hostsPosting;
                break;
            }
            next = std::move(queue.front().post);
            queue.pop_front();
        }
        PostNow(next);
    }
    wake.Set();
}

void RCModulePoster::Shared::PostNow(const Post& post)
{
    // A post that throws loses itself, never the ones after it.
    RCNoThrowBoundary("RCModulePoster::PostNow", post);
}

RCModulePoster::RCModulePoster() : shared_(std::make_shared<Shared>())
{
    shared_->idle.Set();
}

RCModulePoster::~RCModulePoster()
{
    Quiesce();
    // What a host still holds up now would reach a host that is letting go
    // of the module: dropped.
    Shared& s = *shared_;
    RCAutoLock guard(s.lock);
    s.queue.clear();
}

void RCModulePoster::Queue(Post post)
{
    Shared& s = *shared_;
    const bool moduleThread = RCThread::IsCurrentWorker();
    bool postNow = false;
    {
        RCAutoLock guard(s.lock);
        s.queue.push_back({++s.lastQueued, std::move(post)});
        if (moduleThread)
            static_cast<void>(s.EnsureThread(shared_));
        else if ((postNow = !s.InEntry(::GetCurrentThreadId())))
            ++s.hostsPosting; // before the lock goes: the post is this thread's to make
    }
    if (moduleThread)
        s.wake.Set();
    else if (postNow)
        s.PostAsHost(true);
}

void RCModulePoster::Quiesce()
{
    Shared& s = *shared_;
    s.PostAsHost();
    RCRefPtr<RCThread> thread;
    bool inHost;
    {
        RCAutoLock guard(s.lock);
        ++s.generation;
        thread = s.thread;
        s.thread = nullptr;
        inHost = s.threadPosting;
    }
    s.wake.Set();
    if (!thread)
        return;
    // A thread still inside the host after the wait above is held by the
    // host itself: it leaves on its own once its post returns.
    if (inHost || !thread->TryJoin())
        RC_LOG(LostWork, L"Posting thread still in the host; left to finish on its own");
}

RCModulePoster::Entry::Entry(RCModulePoster* poster) : poster_(poster)
{
    if (poster_ == nullptr)
        return;
    Shared& s = *poster_->shared_;
    RCAutoLock guard(s.lock);
    s.entries.push_back(::GetCurrentThreadId());
}

RCModulePoster::Entry::~Entry()
{
    if (poster_ == nullptr)
        return;
    Shared& s = *poster_->shared_;
    const DWORD self = ::GetCurrentThreadId();
    bool outermost;
    {
        RCAutoLock guard(s.lock);
        outermost = std::count(s.entries.begin(), s.entries.end(), self) == 1;
    }
    if (outermost)
        s.PostAsHost();
    {
        RCAutoLock guard(s.lock);
        s.entries.erase(std::find(s.entries.begin(), s.entries.end(), self));
    }
    s.wake.Set();
}

} // namespace RC
