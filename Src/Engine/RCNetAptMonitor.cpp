#include "Src/Engine/RCNetAptMonitor.h"

#include <atomic>
#include <memory>

#include "Src/Engine/Enumerator/RCRegValue.h"
#include "Src/Engine/INetAptMonSink.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCEvent.h"
#include "foundation/RCInternet.h"
#include "foundation/RCOleInit.h"
#include "foundation/RCProcAddress.h"
#include "foundation/RCRefPtr.h"

namespace RC {

namespace {

using NotifyAddrChangeFn = DWORD(WINAPI*)(HANDLE*, OVERLAPPED*);
using CancelIPChangeNotifyFn = BOOL(WINAPI*)(OVERLAPPED*);

constexpr DWORD kNotifyStopCheckMs = 10;

// One address-change request. The system writes into it until the request
// completes, so it is only let go of after that.
struct AddrChangeRequest {
    OVERLAPPED overlapped = {};
    RCEvent change{false};
    HANDLE handle = nullptr; // the system's, not ours to close
};

// Cancels a pending request and waits until its completion has been
// written. False when the request could not be cancelled and is still
// pending: the caller must then leave the block alone.
bool CancelAndWait(CancelIPChangeNotifyFn cancel, AddrChangeRequest& request)
{
    // Without a handle nothing is in flight: a stand-in that only answers
    // "pending" (Wine's) never writes into the block.
    if (HasOverlappedIoCompleted(&request.overlapped) || request.handle == nullptr ||
        request.handle == INVALID_HANDLE_VALUE)
        return true;
    if (!cancel(&request.overlapped) && ::GetLastError() != ERROR_NOT_FOUND &&
        !HasOverlappedIoCompleted(&request.overlapped))
        return false;
    DWORD transferred = 0;
    ::GetOverlappedResult(request.handle, &request.overlapped, &transferred, TRUE);
    return true;
}

} // namespace

struct RCNetAptMonitor::State {
    std::atomic<INetAptMonSink*> sink{nullptr};
    boost::shared_ptr<RCEvent> stopEvent{new RCEvent(true)};
    volatile LONG stopping = 0;
    Timing timing;

    bool Stopping() const { return stopping != 0; }
    void Enter(Step step) const
    {
        if (timing.step)
            timing.step(step);
    }
    bool Probe(const std::wstring& url) const
    {
        Enter(Step::Probe);
        return RCInternetCheckConnection(url) != 0;
    }
    // A stop that has begun wins over a late result.
    void Notify(bool connected) const
    {
        if (stopEvent->Wait(kNotifyStopCheckMs))
            return;
        INetAptMonSink* target = sink.load();
        if (target == nullptr)
            return;
        if (connected)
            target->OnNetConnected();
        else
            target->OnNetDisconnected();
    }
};

RCNetAptMonitor::RCNetAptMonitor(INetAptMonSink* sink, const Timing& timing) : state_(new State())
{
    state_->sink = sink;
    state_->timing = timing;
}

RCNetAptMonitor::~RCNetAptMonitor()
{
    Stop();
}

bool RCNetAptMonitor::Start()
{
    state_->stopEvent->Reset();
    if (thread_)
        return true;
    // The thread's own reference to the state, handed over on success.
    auto context = std::make_unique<boost::shared_ptr<State>>(state_);
    RCRefPtr<RCThread> thread(new RCThread(&ThreadRoutine, context.get()));
    if (!thread->Start())
        return false;
    (void)context.release();
    thread_ = thread;
    return true;
}

void RCNetAptMonitor::Stop()
{
    ::InterlockedExchange(&state_->stopping, 1);
    state_->sink = nullptr;
    state_->stopEvent->Set();
    // A probe cannot be cut short, so the wait is bounded instead: a thread
    // still probing keeps the library and its state block, and its sink is
    // already gone, so it leaves without a word once the probe returns.
    if (thread_) {
        if (!thread_->TryJoin())
            RC_LOG(LostWork, L"Network monitor still probing after the stop's wait; left to finish on its own");
        thread_ = nullptr;
    }
}

std::wstring RCNetAptMonitor::ProbeUrl()
{
    std::wstring host = kDefaultProbeHost;
    unique_hkey key = RCRegValue::OpenKey(HKEY_LOCAL_MACHINE, kSettingsKey, RCRegView::Own);
    RCRegValue value;
    if (key && value.Read(key.get(), kProbeHostValue) && value.Type() == REG_SZ && value.Text()[0] != L'\0')
        host = value.Text();
    return L"http://" + host;
}

void RCNetAptMonitor::ThreadRoutine(void* context)
{
    std::unique_ptr<boost::shared_ptr<State>> state(static_cast<boost::shared_ptr<State>*>(context));
    Run(**state);
}

void RCNetAptMonitor::Run(State& state)
{
    RC_LOG(Lifecycle, L"Thread id = %x", static_cast<unsigned>(::GetCurrentThreadId()));
    RCOleInit ole;
    unique_hmodule iphlpapi(::LoadLibraryW(L"iphlpapi.dll"));
    if (!iphlpapi)
        return;
    auto notifyAddrChange = RCGetProcAddress<NotifyAddrChangeFn>(iphlpapi.get(), "NotifyAddrChange");
    auto cancelIPChangeNotify = RCGetProcAddress<CancelIPChangeNotifyFn>(iphlpapi.get(), "CancelIPChangeNotify");
    if (notifyAddrChange == nullptr || cancelIPChangeNotify == nullptr || state.Stopping())
        return;

    boost::shared_ptr<RCEvent> stopEvent = state.stopEvent;
    auto request = std::make_unique<AddrChangeRequest>();
    RCEvent& change = request->change;
    change.Reset();
    if (!stopEvent->GetHandle() || !change.GetHandle())
        return;

    const std::wstring url = ProbeUrl();
    RC_LOG(Progress, L"Probing %s", url.c_str());
    bool last = state.Probe(url);
    if (state.Stopping())
        return;
    state.Notify(last);
    bool lastLocal = last;

    OVERLAPPED& overlapped = request->overlapped;
    overlapped.hEvent = change.GetHandle();
    bool armed = false;
    for (;;) {
        if (!armed) {
            const auto& standIn = state.timing.notifyAddrChange;
            const DWORD asked =
                standIn ? standIn(&request->handle, &overlapped) : notifyAddrChange(&request->handle, &overlapped);
            if (asked != ERROR_IO_PENDING)
                break;
            armed = true;
            if (state.Stopping())
                break;
        }
        const HANDLE waits[2] = {stopEvent->GetHandle(), change.GetHandle()};
        const DWORD result = ::WaitForMultipleObjects(2, waits, FALSE, state.timing.changeWaitMs);
        bool check = false;
        if (result == WAIT_OBJECT_0 + 1) {
            change.Reset();
            CancelAndWait(cancelIPChangeNotify, *request);
            check = true;
            armed = false;
        } else if (result == WAIT_TIMEOUT) {
            // Wininet may see a change that no address change announced.
            DWORD flags = 0;
            const bool local = RCInternetGetConnectedState(&flags) != 0;
            check = local != lastLocal;
            lastLocal = local;
        } else {
            break;
        }
        if (state.Stopping())
            break;
        if (!check)
            continue;

        // A burst of changes within the settling wait costs one probe.
        state.Enter(Step::Settle);
        bool settled = false;
        stopEvent->Wait(state.timing.settleWaitMs, settled);
        if (!settled)
            break;
        const bool now = state.Probe(url);
        if (now != last)
            state.Notify(now);
        last = now;
    }
    // A request the system still holds keeps its block: better a few bytes
    // lost than a completion written into freed memory.
    if (armed && !CancelAndWait(cancelIPChangeNotify, *request)) {
        RC_LOG(LostWork, L"An address-change request could not be cancelled (error %u)",
               static_cast<unsigned>(::GetLastError()));
        (void)request.release();
    }
}

} // namespace RC
