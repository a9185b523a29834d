#pragma once
// Runs the enumerators of one scan task, strictly one after another, on one
// worker thread at a time, with WOW64 file-system redirection disabled for
// the whole run so that a 32-bit process sees the native system folders.
//
// Threads: the controller calls everything here on a bus thread (the
// enumeration events then arrive on the worker). A run works on a copy of the
// task list taken when it begins, so SetScanTasks never waits for a run. The
// worker slots have a small lock of their own, so that StopScan can reach the
// running enumerator at once. Whether the previous worker is gone is settled
// here alone: a run counts as in progress until it reports its end, and the
// next run's worker waits for the previous worker to leave before it begins.
// The enumerators' events pass through this object on their way to the sink,
// so that it learns which enumerator runs. Whatever a walk throws ends that
// walk, not the run: the run still reports its end.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "Src/Engine/Enumerator/IAvEnumFile.h"
#include "Src/Engine/Enumerator/IAvEnumFileEvent.h"
#include "Src/Engine/Scanner/RCRunFaults.h"
#include "foundation/RCRefPtr.h"

namespace RC {

class RCEnumThreads {
public:
    using EnumeratorMap = std::map<uint32_t, RCRefPtr<IAvEnumFile>>;

    RCEnumThreads();
    ~RCEnumThreads();
    RCEnumThreads(const RCEnumThreads&) = delete;
    RCEnumThreads& operator=(const RCEnumThreads&) = delete;

    bool SetEnumEvent(IAvEnumFileEvent* sink);
    // The run order: one entry per show type, null where the map has none
    // (the lookup leaves an empty entry in the map, as a map lookup does).
    void SetScanTasks(EnumeratorMap& enumerators, const std::vector<uint32_t>& showTypes);
    // Starts a run unless one is in progress (also a stopped one that has not
    // reported its end yet), which answers true as well. False when the
    // worker cannot start, which it logs.
    bool StartScan();
    // Before StartScan.
    void SetFaults(const RCRunFaults& faults);
    // Stops the running enumerator and the rest of the list; does not wait.
    void StopScan();
    // Waits for the workers to end.
    void UnInitialize();

private:
    struct Data;
    static void __cdecl RunScanThread(void* context);
    void ProcessScanTasks();

    std::unique_ptr<Data> data_;
};

} // namespace RC
