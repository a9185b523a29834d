#include "Src/Engine/RCEventOutbox.h"

#include <utility>

#include "foundation/RCAutoLock.h"
#include "foundation/RCNoThrowBoundary.h"

namespace RC {

void RCEventOutbox::Add(Post post)
{
    RCAutoLock guard(lock_);
    queue_.push_back(std::move(post));
}

void RCEventOutbox::Drain()
{
    {
        RCAutoLock guard(lock_);
        if (draining_)
            return;
        draining_ = true;
    }
    for (;;) {
        Post next;
        {
            RCAutoLock guard(lock_);
            if (queue_.empty()) {
                draining_ = false;
                return;
            }
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        // A post that throws loses its own event, never the ones after it.
        RCNoThrowBoundary("RCEventOutbox::Drain", next);
    }
}

} // namespace RC
