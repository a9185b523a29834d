#pragma once
// The module's one way to the host: every post of the module, whatever thread
// makes it, is queued here and reaches the host in the order it was queued,
// one PostMessage after the other.
//
// Who calls PostMessage:
// - A host thread inside one of the module's entries (a delivery, a module
//   slot the host calls, the module's release) only queues; before the
//   outermost entry returns, that thread posts the queue up to the last post
//   queued by then, the earlier posts of module threads included. So
//   everything a delivery produces is posted before it returns, after what
//   was decided before it. A host thread outside every entry posts at once.
// - A module thread only queues, never calls the host and never waits for
//   it: a host may hold its own lock while it delivers and take it again in
//   PostMessage, and a module stop joins module threads inside a delivery.
//   The poster thread posts for them while no host thread is inside an
//   entry, so it never competes with a delivery.
//
// The order is kept whatever the host. A host beyond the contract, one that
// blocks other threads' posts while it delivers, can see the timing differ:
// when the poster thread began a post just before a delivery entered the
// module, the delivering thread waits for it up to kInFlightWaitMs, then
// leaves its own posts queued behind it. They reach the host after the
// delivery, posted by the poster thread once the host lets the held post go;
// after a module stop, by the module's next entry (its Detach), and at its
// release they are dropped if the host still holds that post. Never a hang:
// a module stop and the release leave a held poster thread to finish on its
// own (it holds the library and the queue's state).
//
// Threads: Queue from any thread, under the caller's own locks too when the
// caller is a module thread or inside an entry (it then only queues). Entry
// and Quiesce on host threads only.
#include <cstdint>
#include <functional>
#include <memory>

#include "foundation/RCNonCopyable.h"

namespace RC {

class RCModulePoster : private RCNonCopyable {
public:
    using Post = std::function<void()>;
    // How long a host thread waits for a post in flight on the poster
    // thread before it leaves its own to that thread: long for a host that
    // takes milliseconds to post, short for one that holds the post until
    // the delivery returns.
    static constexpr unsigned long kInFlightWaitMs = 100;

    RCModulePoster();
    // Quiesces; what a host still holds up then is dropped.
    ~RCModulePoster();

    void Queue(Post post);
    // Posts what is queued and ends the poster thread, whose next start is
    // a module thread's next post. After it, no module thread calls the host
    // (but the one post in flight that a host beyond the contract holds up).
    void Quiesce();

    // A host thread inside one of the module's entries, for its lifetime.
    class Entry : private RCNonCopyable {
    public:
        explicit Entry(RCModulePoster* poster); // null: nothing to post through
        ~Entry();

    private:
        RCModulePoster* const poster_;
    };

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};

} // namespace RC
