#pragma once
// Hands the module's posts to the host from one thread of the module.
//
// A host may hold its own lock while it delivers a message and take that
// lock again in PostMessage. A delivery that joins a module thread (a module
// stop joins every worker) must then never wait for a thread that is inside
// PostMessage. So the module's own threads never call the host: they queue
// their posts here and go on, and the poster thread posts them in the order
// they were queued. Nothing that a delivery runs waits for the poster thread.
//
// A host thread posts at once while nothing is queued or being posted, so a
// reply usually reaches the host before its delivery ends; otherwise its post
// queues behind the others and never overtakes an earlier one. While it
// posts, the poster thread holds back, so the order of all posts is the
// order of the calls.
//
// Threads: Submit from any thread. Stop from a host thread outside any
// delivery (the module's Detach and release), while the host still takes
// posts: it waits until every queued post has been posted.
#include <deque>
#include <functional>

#include "foundation/RCCriticalSection.h"
#include "foundation/RCEvent.h"
#include "foundation/RCNonCopyable.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"
#include "foundation/RCThreadAnnotations.h"

namespace RC {

class RCModulePoster : private RCNonCopyable {
public:
    using Post = std::function<void()>;

    RCModulePoster();
    // Stops: whatever is still queued is posted first.
    ~RCModulePoster();

    void Submit(Post post) RC_EXCLUDES(lock_);
    // Posts what is queued and ends the thread; the next post of a module
    // thread starts it again.
    void Stop() RC_EXCLUDES(lock_);

private:
    static void __cdecl Routine(void* context);
    void Run() RC_EXCLUDES(lock_);
    bool EnsureThread() RC_REQUIRES(lock_);
    static void PostNow(const Post& post);

    RCCriticalSection lock_;
    RCEvent wake_{false};
    std::deque<Post> queue_ RC_GUARDED_BY(lock_);
    bool posting_ RC_GUARDED_BY(lock_) = false; // the poster thread is inside a post
    int directPosts_ RC_GUARDED_BY(lock_) = 0;  // host threads inside a post
    bool stopping_ RC_GUARDED_BY(lock_) = false;
    RCRefPtr<RCThread> thread_ RC_GUARDED_BY(lock_);
};

} // namespace RC
