#pragma once
// Posts the ordered events of one task (run states, item statuses) in the
// order they were decided, without holding any lock while posting.
//
// A decision is made under its owner's lock and queued here before that lock
// is released; the posting happens afterwards. Whoever finds nobody posting
// posts everything queued, its own event and those that others queue
// meanwhile; the others return at once. A host may hold its own lock while it
// delivers a command and take it again in PostMessage: a worker posting here
// then waits only for the host, never for a lock the delivery needs.
//
// Threads: any. Every thread that queues calls Drain before it leaves the
// module, so the queue is empty whenever no thread is inside the module.
#include <deque>
#include <functional>

#include "foundation/RCCriticalSection.h"
#include "foundation/RCNonCopyable.h"

namespace RC {

class RCEventOutbox : private RCNonCopyable {
public:
    using Post = std::function<void()>;

    // Queues one post; cheap, so that it may be called under another lock.
    void Add(Post post) RC_EXCLUDES(lock_);
    // Posts what is queued, unless another thread is posting already.
    void Drain() RC_EXCLUDES(lock_);

private:
    RCCriticalSection lock_;
    std::deque<Post> queue_ RC_GUARDED_BY(lock_);
    bool draining_ RC_GUARDED_BY(lock_) = false;
};

} // namespace RC
