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
#include <condition_variable>
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

class RCBus {
public:
    using Listener = std::function<void(const RCBusMessage&)>;

    RCBus();
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
        RC::DmAvCore::IVBusModule* poster;  // null for a peer's post
    };

    void Subscribe(RC::DmAvCore::IVBusModule* module, const wchar_t* id, RC::DmAvCore::BusCallback callback);
    void Unsubscribe(RC::DmAvCore::IVBusModule* module, const wchar_t* id);
    void RemoveSubscription(RC::DmAvCore::IVBusModule* module, const wchar_t* id);  // lock held
    void Enqueue(RCBusMessage message, RC::DmAvCore::IVBusModule* poster = nullptr);
    void DeliveryLoop();

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Queued> queue_;
    bool delivering_ = false;
    bool stopping_ = false;
    std::vector<Subscription> subscriptions_;
    std::vector<Listener> listeners_;
    std::vector<std::unique_ptr<Endpoint>> endpoints_;
    std::thread thread_;
};

} // namespace KivoHost
