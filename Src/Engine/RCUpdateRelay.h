#pragma once
// Hands the last update payload a peer sent to the suite's updater, starting
// the updater when it is not running, and pushes it again on every wake until
// an answer comes back; answers and forwards go straight to the answer pair.
//
// Threads: the host's delivery thread calls Start, Stop and the three request
// handlers; the relay thread waits, launches the updater and pushes. The
// payload is written under the lock by TakePayload and copied under it by a
// push, which posts outside it; an answer clears pending without the lock.
// The sender is not owned; the relay owns its wake event, lock and buffer.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/RCCriticalSection.h"
#include "foundation/RCNonCopyable.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"
#include "foundation/RCThreadAnnotations.h"

namespace RC {

class RCEvent;
class RCModuleSender;

class RCUpdateRelay : private RCNonCopyable {
public:
    // Production uses the defaults. woke, when set, is called on the relay
    // thread each time its wait ends, before it looks at the payload.
    struct Timing {
        DWORD wakeWaitMs = 5000;     // a pending payload is pushed again this often
        DWORD presenceWaitMs = 1000; // for a starting updater to show up
        std::function<void()> woke;
    };

    static constexpr const wchar_t* kUpdaterProgram = L"KivoSafeUpdate.exe";
    static constexpr const wchar_t* kUpdaterArguments = L"--type=default";

    // The updater beside the host's executable; empty when that folder is
    // not a full path, so the updater is never searched for by name.
    static std::wstring UpdaterPath(const std::wstring& hostFolder);

    RCUpdateRelay();
    // Joins the thread without waking it: within one wake wait.
    ~RCUpdateRelay();

    // Takes effect at the next Start.
    void SetTiming(const Timing& timing) { timing_ = timing; }

    void Start(const RCModuleSender* sender);
    void Stop();

    // REQ_UPDATE_PAYLOAD: a newer payload replaces one not yet answered.
    void TakePayload(const uint8_t* data, uint32_t size);
    // REQ_UPDATE_ANSWER: ends the repeats and goes to the answer pair.
    void RelayAnswer(const uint8_t* data, uint32_t size);
    // REQ_UPDATE_FORWARD: to the answer pair, pending unchanged.
    void Forward(const uint8_t* data, uint32_t size);

private:
    static void __cdecl ThreadRoutine(void* context);
    void Run();
    void EnsureUpdaterRuns();
    void Push();

    std::atomic<const RCModuleSender*> sender_{nullptr};
    std::unique_ptr<RCEvent> wakeEvent_;
    RCRefPtr<RCThread> thread_;
    RCCriticalSection lock_;
    std::atomic<bool> pending_{false};
    std::atomic<bool> stopped_{true};
    std::vector<uint8_t> payload_ RC_GUARDED_BY(lock_);
    Timing timing_;
    Timing running_; // what the relay thread reads, fixed by Start
};

} // namespace RC
