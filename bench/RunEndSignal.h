#pragma once
// Signals when a run of the controller reaches its end state (stopped or
// completed), for the benchmark programs that drive one run and wait.
// The controller calls it on its worker threads.
#include <windows.h>

#include "Src/Engine/IScanObCallback.h"
#include "foundation/RCHandles.h"

namespace KivoBench {

class RunEndSignal : public RC::IScanObCallback {
public:
    RunEndSignal() : ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    void OnScanStateChange(const RC::ScanStatusBlock* status) override
    {
        if (status->state == RC::ScanState::Stopped || status->state == RC::ScanState::Completed)
            SetEvent(ended.get());
    }
    void OnScanProgressChange(const RC::ScanProgressBlock*) override {}
    void OnItemStatusChange(uint32_t, const RC::ItemRow*) override {}
    void OnItemProgressChange(uint32_t, const RC::ItemRow*) override {}

    RC::unique_handle ended;
};

} // namespace KivoBench
