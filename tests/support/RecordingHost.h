#pragma once
// Test doubles on the host side of the bus interfaces that record every call
// in order, including null pointers, which the reference bus smooths over. A
// test derives from RecordingMessage to make one of its reads misbehave.
// Posts may come from any thread; read them through Posts() or WaitFor while
// the module's threads run.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "module/IVBusHost.h"

namespace KivoTest {

class RecordingMessage : public RC::DmAvCore::IVBusMessage {
public:
    struct Call {
        std::string operation; // "SetBinary" or "SetString"
        std::wstring key;
        std::vector<uint8_t> bytes;
        std::wstring text;
    };
    std::vector<Call> calls;

    void __thiscall Reserved0() override {}
    void __thiscall Reserved1() override {}
    void __thiscall Reserved2() override {}
    const wchar_t* __thiscall GetMessageId() override { return L""; }
    void __thiscall Reserved4() override {}
    const wchar_t* __thiscall GetAddress2() override { return L""; }
    void __thiscall Reserved6() override {}
    const wchar_t* __thiscall GetAddress1() override { return L""; }
    void __thiscall Reserved8() override {}
    void __thiscall Reserved9() override {}
    void __thiscall SetBinary(const wchar_t* key, const void* data, uint32_t size) override
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        calls.push_back({"SetBinary", key, std::vector<uint8_t>(p, p + size), L""});
    }
    uint32_t __thiscall GetBinarySize(const wchar_t*) override { return RC::DmAvCore::kAbsentBinary; }
    bool __thiscall GetBinary(const wchar_t*, void*, uint32_t) override { return false; }
    void __thiscall SetString(const wchar_t* key, const wchar_t* value) override
    {
        calls.push_back({"SetString", key, {}, value});
    }
};

class RecordingHost final : public RC::DmAvCore::IVBusHost {
public:
    struct Post {
        std::wstring id;
        bool hasHolder, address2IsNull, address1IsNull;
        std::wstring address2, address1;
        std::vector<RecordingMessage::Call> content; // what the holder wrote
    };
    std::vector<const wchar_t*> subscribed, unsubscribed; // the module's own texts: no allocation to record them
    std::vector<Post> posts;

    void __thiscall Reserved0() override {}
    void __thiscall Reserved1() override {}
    void __thiscall Reserved2() override {}
    void __thiscall Reserved3() override {}
    void __thiscall Reserved4() override {}
    void __thiscall Subscribe(const wchar_t* id, RC::DmAvCore::BusCallback) override { subscribed.push_back(id); }
    void __thiscall Unsubscribe(const wchar_t* id) override { unsubscribed.push_back(id); }
    void __thiscall PostMessage(const wchar_t* id, RC::DmAvCore::IVBusMessageHolder* holder, const wchar_t* address2,
                                const wchar_t* address1) override
    {
        RecordingMessage message;
        if (holder != nullptr)
            holder->WriteTo(&message);
        std::lock_guard<std::mutex> guard(lock_);
        posts.push_back({id, holder != nullptr, address2 == nullptr, address1 == nullptr, address2 ? address2 : L"",
                         address1 ? address1 : L"", message.calls});
        posted_.notify_all();
    }

    std::vector<Post> Posts() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return posts;
    }
    // True once the posts so far satisfy done; false after the time-out.
    bool WaitFor(const std::function<bool(const std::vector<Post>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        std::unique_lock<std::mutex> guard(lock_);
        return posted_.wait_for(guard, timeout, [&] { return done(posts); });
    }

private:
    mutable std::mutex lock_;
    std::condition_variable posted_;
};

} // namespace KivoTest
