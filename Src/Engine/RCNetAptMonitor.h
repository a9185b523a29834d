#pragma once
// Watches the machine's addresses and internet reachability and tells its
// sink the result of every probe that changes it (and of the first one).
//
// Threads: the owner (the network-state part, on the host's delivery thread)
// calls Start and Stop; the monitor thread probes and calls the sink. The
// thread works on a state block it shares with the monitor, so a thread that
// is still inside a probe when Stop gives up waiting finds stopping set and
// leaves without touching the monitor or the sink. The sink is not owned;
// Stop clears it before it wakes the thread.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include <boost/shared_ptr.hpp>

#include "foundation/RCHandles.h"
#include "foundation/RCNonCopyable.h"

namespace RC {

class INetAptMonSink;

class RCNetAptMonitor : private RCNonCopyable {
public:
    enum class Step { Probe, Settle };
    // Production uses the defaults. step, when set, is called on the monitor
    // thread as a probe or a settling wait begins.
    struct Timing {
        DWORD changeWaitMs = 5000;  // between looks at wininet's connected state
        DWORD settleWaitMs = 5000;  // after a change, before the probe
        std::function<void(Step)> step;
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
    // Waits up to 10 s for the thread, then lets it go.
    void Stop();

    static std::wstring ProbeUrl();

private:
    struct State;
    static unsigned __stdcall ThreadProc(void* context);
    static void Run(State& state);

    boost::shared_ptr<State> state_;
    unique_handle thread_;
};

} // namespace RC
