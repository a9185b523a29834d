#include "Src/Engine/RCUpdateRelay.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCEvent.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "foundation/RCShellRun.h"
#include "module/RCBusIds.h"
#include "module/RCModuleSender.h"

namespace RC {

RCUpdateRelay::RCUpdateRelay() = default;

RCUpdateRelay::~RCUpdateRelay()
{
    stopped_ = true;
    if (thread_)
        thread_->Join();
}

void RCUpdateRelay::Start(const RCModuleSender* sender)
{
    sender_ = sender;
    pending_ = false;
    stopped_ = false;
    {
        RCAutoLock guard(lock_);
        payload_.clear();
    }
    if (!wakeEvent_)
        wakeEvent_.reset(new RCEvent(false));
    if (!thread_) {
        running_ = timing_;
        thread_ = new RCThread(&ThreadRoutine, this);
        if (!thread_->Start())
            RC_LOG(LostWork, L"The update relay thread did not start");
    }
}

void RCUpdateRelay::Stop()
{
    stopped_ = true;
    if (wakeEvent_)
        wakeEvent_->Set();
    if (thread_)
        thread_->Join();
    sender_ = nullptr;
    pending_ = false;
    {
        RCAutoLock guard(lock_);
        payload_.clear();
    }
    wakeEvent_.reset();
    thread_.Reset();
}

void RCUpdateRelay::TakePayload(const uint8_t* data, uint32_t size)
{
    if (data == nullptr || size == 0 || stopped_)
        return;
    {
        RCAutoLock guard(lock_);
        payload_.assign(data, data + size);
        pending_ = true;
    }
    wakeEvent_->Set();
}

void RCUpdateRelay::RelayAnswer(const uint8_t* data, uint32_t size)
{
    pending_ = false;
    if (const RCModuleSender* sender = sender_)
        sender->Send(ANSWER_ADDRESS1, ANSWER_ADDRESS2, REQ_UPDATE_ANSWER, nullptr, data, size);
}

void RCUpdateRelay::Forward(const uint8_t* data, uint32_t size)
{
    if (const RCModuleSender* sender = sender_)
        sender->Send(ANSWER_ADDRESS1, ANSWER_ADDRESS2, REQ_UPDATE_FORWARD, nullptr, data, size);
}

void __cdecl RCUpdateRelay::ThreadRoutine(void* context)
{
    static_cast<RCUpdateRelay*>(context)->Run();
}

void RCUpdateRelay::Run()
{
    RC_LOG(Lifecycle, L"Thread id = %x", static_cast<unsigned>(::GetCurrentThreadId()));
    while (!stopped_) {
        if (sender_ == nullptr || !wakeEvent_)
            return;
        wakeEvent_->Wait(running_.wakeWaitMs);
        if (running_.woke)
            running_.woke();
        if (stopped_)
            return;
        // pending stays set after a push: the payload goes again on every
        // wake until an answer clears it.
        if (pending_) {
            EnsureUpdaterRuns();
            if (stopped_)
                return;
            Push();
        }
    }
}

std::wstring RCUpdateRelay::UpdaterPath(const std::wstring& hostFolder)
{
    // A bare name would be looked for along PATH, where anyone may have put
    // a program of that name.
    if (!RCIsAbsolutePath(hostFolder))
        return std::wstring();
    return RCPathJoin(hostFolder, kUpdaterProgram);
}

void RCUpdateRelay::EnsureUpdaterRuns()
{
    RCEvent presence(true, UPDATER_PRESENCE_EVENT);
    if (!presence.GetHandle() || !wakeEvent_)
        return;
    if (!presence.AlreadyExisted()) {
        const std::wstring path = UpdaterPath(RCGetExeFolder());
        if (path.empty()) {
            RC_LOG(LostWork, L"The host's folder is unknown: %s is not started", kUpdaterProgram);
        } else {
            RC_LOG(Progress, L"Starting %s", path.c_str());
            if (!RCShellRun(path, kUpdaterArguments, true, nullptr))
                RC_LOG(LostWork, L"Cannot start %s", path.c_str());
        }
    }
    presence.Wait(running_.presenceWaitMs);
}

void RCUpdateRelay::Push()
{
    std::vector<uint8_t> copy;
    {
        RCAutoLock guard(lock_);
        copy = payload_;
    }
    if (const RCModuleSender* sender = sender_)
        sender->Send(UPDATER_ADDRESS1, UPDATER_ADDRESS2, REQ_UPDATE_PAYLOAD, nullptr, copy.data(),
                     static_cast<uint32_t>(copy.size()));
}

} // namespace RC
