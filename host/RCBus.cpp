#include "host/RCBus.h"

#include <algorithm>
#include <chrono>

namespace KivoHost {

using RC::DmAvCore::BusCallback;
using RC::DmAvCore::IVBusMessageHolder;
using RC::DmAvCore::IVBusModule;

class RCBus::Endpoint final : public RC::DmAvCore::IVBusHost {
public:
    Endpoint(RCBus& bus, IVBusModule* module) : bus_(bus), module_(module) {}
    ~Endpoint() = default;

    IVBusModule* module() const { return module_; }

    void __thiscall Reserved0() override {}
    void __thiscall Reserved1() override {}
    void __thiscall Reserved2() override {}
    void __thiscall Reserved3() override {}
    void __thiscall Reserved4() override {}
    void __thiscall Subscribe(const wchar_t* id, BusCallback callback) override
    {
        bus_.Subscribe(module_, id, callback);
    }
    void __thiscall Unsubscribe(const wchar_t* id) override { bus_.Unsubscribe(module_, id); }
    void __thiscall PostMessage(const wchar_t* id, IVBusMessageHolder* holder, const wchar_t* address2,
                                const wchar_t* address1) override
    {
        // The holder usually lives on the poster's stack: copy its content now.
        RCBusMessage message(TextOrEmpty(id), TextOrEmpty(address1), TextOrEmpty(address2));
        if (holder != nullptr)
            holder->WriteTo(&message);
        bus_.EnqueueFromModule(std::move(message), module_);
    }

private:
    RCBus& bus_;
    IVBusModule* module_;
};

namespace {
constexpr size_t kHarshPoolSize = 3;
} // namespace

RCBus::RCBus(RCBusMode mode) : mode_(mode), poolSize_(mode == RCBusMode::Harsh ? kHarshPoolSize : 1)
{
    for (size_t index = 0; index < poolSize_; ++index)
        threads_.emplace_back([this, index] { DeliveryLoop(index); });
}

RCBus::~RCBus()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

RC::DmAvCore::IVBusHost* RCBus::HostFor(IVBusModule* module)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& endpoint : endpoints_)
        if (endpoint->module() == module)
            return endpoint.get();
    endpoints_.push_back(std::make_unique<Endpoint>(*this, module));
    return endpoints_.back().get();
}

void RCBus::Post(const std::wstring& id, const std::wstring& address1, const std::wstring& address2,
                 const std::vector<uint8_t>* safeData)
{
    RCBusMessage message(id, address1, address2);
    if (safeData != nullptr)
        message.SetBinary(L"SafeData", safeData->data(), static_cast<uint32_t>(safeData->size()));
    Enqueue(std::move(message));
}

void RCBus::AddListener(Listener listener)
{
    std::lock_guard<std::mutex> guard(lock_);
    listeners_.push_back(std::move(listener));
}

void RCBus::SetWireObserver(std::function<void(const RCWireEvent&)> observer)
{
    std::lock_guard<std::mutex> guard(lock_);
    wireObserver_ = std::move(observer);
}

int RCBus::MostPostsAtOnce() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return mostPostsAtOnce_;
}

void RCBus::WaitIdle()
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return queue_.empty() && !delivering_; });
}

std::vector<std::wstring> RCBus::SubscriptionsOf(IVBusModule* module) const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::wstring> ids;
    for (const Subscription& s : subscriptions_)
        if (s.module == module)
            ids.push_back(s.id);
    return ids;
}

void RCBus::Subscribe(IVBusModule* module, const wchar_t* id, BusCallback callback)
{
    if (id == nullptr || callback == nullptr)
        return;
    std::lock_guard<std::mutex> guard(lock_);
    RemoveSubscription(module, id); // a second subscription replaces the first
    subscriptions_.push_back({module, id, callback});
}

void RCBus::Unsubscribe(IVBusModule* module, const wchar_t* id)
{
    std::lock_guard<std::mutex> guard(lock_);
    RemoveSubscription(module, id);
}

void RCBus::RemoveSubscription(IVBusModule* module, const wchar_t* id)
{
    const std::wstring text = TextOrEmpty(id);
    subscriptions_.erase(std::remove_if(subscriptions_.begin(), subscriptions_.end(),
                                        [&](const Subscription& s) { return s.module == module && s.id == text; }),
                         subscriptions_.end());
}

void RCBus::Enqueue(RCBusMessage message, IVBusModule* poster)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        queue_.push_back({std::move(message), poster});
    }
    changed_.notify_all();
}

void RCBus::EnqueueFromModule(RCBusMessage message, IVBusModule* poster)
{
    std::function<void(const RCWireEvent&)> observer;
    {
        std::lock_guard<std::mutex> guard(lock_);
        mostPostsAtOnce_ = std::max(mostPostsAtOnce_, ++postsInside_);
        observer = wireObserver_;
    }
    if (mode_ == RCBusMode::Slow)
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    std::unique_lock<std::recursive_mutex> delivery(deliveryLock_, std::defer_lock);
    if (mode_ == RCBusMode::Harsh)
        delivery.lock();
    if (observer)
        observer({RCWireEvent::ModulePost, &message});
    Enqueue(std::move(message), poster);
    std::lock_guard<std::mutex> guard(lock_);
    --postsInside_;
}

void RCBus::DeliveryLoop(size_t index)
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        // Turns make consecutive deliveries run on different threads of the pool.
        changed_.wait(guard,
                      [&] { return stopping_ || (!queue_.empty() && !delivering_ && turn_ % poolSize_ == index); });
        if (stopping_)
            return;
        RCBusMessage message = std::move(queue_.front().message);
        IVBusModule* const poster = queue_.front().poster;
        queue_.pop_front();
        delivering_ = true;
        ++turn_;
        // A module is not handed its own posts: the update relay posts under
        // the identifiers it subscribes to, and would relay its relays forever.
        std::vector<Subscription> targets;
        for (const Subscription& s : subscriptions_)
            if (s.id == message.id() && s.module != poster)
                targets.push_back(s);
        std::vector<Listener> listeners = listeners_;
        const std::function<void(const RCWireEvent&)> observer = wireObserver_;
        guard.unlock();

        std::unique_lock<std::recursive_mutex> delivery(deliveryLock_, std::defer_lock);
        if (mode_ == RCBusMode::Harsh)
            delivery.lock();
        if (observer && !targets.empty())
            observer({RCWireEvent::DeliveryBegins, &message});
        for (const Subscription& s : targets)
            s.callback(s.module, &message);
        if (observer && !targets.empty())
            observer({RCWireEvent::DeliveryEnds, &message});
        for (const Listener& listener : listeners)
            listener(message);
        if (delivery.owns_lock())
            delivery.unlock();

        guard.lock();
        delivering_ = false;
        changed_.notify_all();
    }
}

} // namespace KivoHost
