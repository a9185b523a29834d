#pragma once
// The reference bus host. Modules attach through a host interface of their
// own (HostFor); peers post and listen through the C++ API. One delivery
// thread hands messages to subscribers one at a time, in posting order (a
// module's own posts go to the other subscribers and the listeners only);
// posting is allowed from any thread, including from inside a delivery.
//
// Threads: the delivery thread runs every subscription callback and every
// listener. Everything else (Post, HostFor, WaitIdle, the host slots the
// modules call) may be called from any thread and only takes the bus lock.
//
// The harsh mode behaves like the least forgiving host a module may meet:
// a pool of delivery threads hands each delivery to the next thread in turn
// (still one delivery at a time, in posting order), and the bus holds a lock
// of its own while it delivers that a module's PostMessage also takes. A
// module that posts from one of its threads while holding a lock that its
// message handlers take deadlocks here instead of once in a while.
//
// The slow mode keeps the contract but takes its time: each PostMessage of a
// module lasts a few milliseconds before the bus has the message, as a host
// that hands each post to its subscribers at once. A module whose posts
// overtake each other, or reach the bus after the delivery that made them,
// shows it here every time.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/RCBusMessage.h"
#include "module/IVBusModule.h"

namespace KivoHost {

enum class RCBusMode { Gentle, Harsh, Slow };

// What crossed the wire, in the order the bus saw it: a delivery to the
// subscribers beginning and ending, and each module post as the bus takes it.
struct RCWireEvent {
    enum Kind { DeliveryBegins, DeliveryEnds, ModulePost } kind;
    const RCBusMessage* message; // valid during the call only
};

class RCBus {
public:
    using Listener = std::function<void(const RCBusMessage&)>;

    explicit RCBus(RCBusMode mode = RCBusMode::Gentle);
    ~RCBus();
    RCBus(const RCBus&) = delete;
    RCBus& operator=(const RCBus&) = delete;

    // The host interface handed to one module's Attach.
    RC::DmAvCore::IVBusHost* HostFor(RC::DmAvCore::IVBusModule* module);

    // A peer's message; safeData, when given, is carried as "SafeData".
    void Post(const std::wstring& id, const std::wstring& address1, const std::wstring& address2,
              const std::vector<uint8_t>* safeData = nullptr);
    // Sees every message after its subscribers, on the delivery thread.
    void AddListener(Listener listener);
    // Sees the wire as it happens, on the thread it happens on; set before
    // the first post.
    void SetWireObserver(std::function<void(const RCWireEvent&)> observer);
    // The most module posts that were ever inside PostMessage at once.
    int MostPostsAtOnce() const;
    // Returns when nothing is queued and nothing is being delivered.
    void WaitIdle();
    // What a module is subscribed to now, in subscription order.
    std::vector<std::wstring> SubscriptionsOf(RC::DmAvCore::IVBusModule* module) const;

private:
    class Endpoint;
    struct Subscription {
        RC::DmAvCore::IVBusModule* module;
        std::wstring id;
        RC::DmAvCore::BusCallback callback;
    };
    struct Queued {
        RCBusMessage message;
        RC::DmAvCore::IVBusModule* poster; // null for a peer's post
    };

    void Subscribe(RC::DmAvCore::IVBusModule* module, const wchar_t* id, RC::DmAvCore::BusCallback callback);
    void Unsubscribe(RC::DmAvCore::IVBusModule* module, const wchar_t* id);
    void RemoveSubscription(RC::DmAvCore::IVBusModule* module, const wchar_t* id); // lock held
    void Enqueue(RCBusMessage message, RC::DmAvCore::IVBusModule* poster = nullptr);
    // A module's post: in the harsh mode it waits for a delivery running on
    // another thread to end.
    void EnqueueFromModule(RCBusMessage message, RC::DmAvCore::IVBusModule* poster);
    void DeliveryLoop(size_t index);

    const RCBusMode mode_;
    const size_t poolSize_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;
    bool delivering_ = false;
    bool stopping_ = false;
    size_t turn_ = 0; // which delivery thread takes the next message
    std::vector<Subscription> subscriptions_;
    std::vector<Listener> listeners_;
    std::function<void(const RCWireEvent&)> wireObserver_;
    int postsInside_ = 0;
    int mostPostsAtOnce_ = 0;
    std::vector<std::unique_ptr<Endpoint>> endpoints_;
    // Held around each delivery in the harsh mode; recursive, because a
    // handler may post from inside its own delivery.
    std::recursive_mutex deliveryLock_;
    std::vector<std::thread> threads_;
};

} // namespace KivoHost
