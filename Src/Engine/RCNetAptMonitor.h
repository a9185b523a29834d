#pragma once
// Watches the machine's addresses and internet reachability and tells its
// sink the result of every probe that changes it (and of the first one).
//
// Threads: the owner (the network-state part, on the host's delivery thread)
// calls Start and Stop; the monitor thread probes and calls the sink. The
// thread works on a state block it shares with the monitor. Stop waits up to
// 10 s for the thread, then lets it go: a thread still inside a probe holds
// the library and the state block until it leaves, and calls nobody. The
// sink is not owned; Stop clears it before it wakes the thread.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include <boost/shared_ptr.hpp>

#include "foundation/RCNonCopyable.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"

namespace RC {

class INetAptMonSink;

class RCNetAptMonitor : private RCNonCopyable {
public:
    enum class Step { Probe, Settle };
    // Production uses the defaults. step, when set, is called on the monitor
    // thread as a probe or a settling wait begins. notifyAddrChange, when set,
    // stands in for the system's request for the next address change (Wine's
    // never completes), so that a change can be made to happen.
    struct Timing {
        DWORD changeWaitMs = 5000; // between looks at wininet's connected state
        DWORD settleWaitMs = 5000; // after a change, before the probe
        std::function<void(Step)> step;
        std::function<DWORD(HANDLE*, OVERLAPPED*)> notifyAddrChange;
    };

    // The probe host: registry value ProbeHost under this key of
    // HKEY_LOCAL_MACHINE (the process's own registry view), read when the
    // monitor thread starts.
    static constexpr const wchar_t* kSettingsKey = L"SOFTWARE\\KivoTrevox";
    static constexpr const wchar_t* kProbeHostValue = L"ProbeHost";
    static constexpr const wchar_t* kDefaultProbeHost = L"update.kivotrevox.com";

    RCNetAptMonitor(INetAptMonSink* sink, const Timing& timing);
    // Stops the thread.
    ~RCNetAptMonitor();

    [[nodiscard]] bool Start();
    // Waits up to 10 s for the thread to leave.
    void Stop();

    static std::wstring ProbeUrl();

private:
    struct State;
    static void __cdecl ThreadRoutine(void* context);
    static void Run(State& state);

    boost::shared_ptr<State> state_;
    RCRefPtr<RCThread> thread_;
};

} // namespace RC
