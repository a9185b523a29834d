#pragma once
// The queue between the scan controller and the engine proxy. Every file
// becomes an asynchronous query kept in a pending map until the engine
// answers; one query thread per run takes the answers over from the engine's
// threads and reports them to the controller, one at a time.
//
// Threads: the bus thread calls Init, UnInit, Abort, Pause and Resume; the
// enumeration thread calls StartScan, AddFileQueryTask and WaitingStop; the
// engine's threads only append to the results and signal; the query thread
// does everything else. pendingLock and resultsLock are never held together,
// and neither is held across a call into the engine.
#include <cstdint>
#include <memory>
#include <string>

#include "Src/Engine/Scanner/IAvFileScanEvent.h"
#include "Src/Engine/Scanner/RCRunFaults.h"
#include "foundation/RCNonCopyable.h"

namespace RC {

class RCAvFileScan : private RCNonCopyable {
public:
    // The clocks of the run. Production uses the defaults: the query thread
    // wakes after 20 s of silence, and a run whose engine has said nothing
    // for more than 60 s completes its pending files with level 0. After
    // each batch of answers the query thread lets the next ones gather for
    // gatherMs: every wake is a round trip to the wineserver, while progress
    // reaches the bus at most every 50 ms anyway.
    struct Timing {
        unsigned long idleWaitMs = 20000;
        unsigned long gatherMs = 10;
        int64_t silenceSeconds = 60;
        // Unanswered queries the queue holds at most; the enumeration waits
        // for room. An engine that takes every query at once would otherwise
        // hold a whole disk's files, and one whose workers hang would wedge
        // the enumeration inside its own submission, out of a stop's reach.
        size_t maxPending = 256;
        int64_t (*now)() = nullptr; // whole seconds; null: the C run time's time()
    };

    RCAvFileScan();
    virtual ~RCAvFileScan();

    void SetSink(IAvFileScanEvent* sink);
    void SetTiming(const Timing& timing);
    // Before Init.
    void SetFaults(const RCRunFaults& faults);

    // False when the queue's events could not be made: no run can start.
    // A missing engine is no failure (every file then completes clean).
    bool Init(const wchar_t* engineArgument);
    void UnInit();
    // False while a run is active (until WaitingStop), and when the run
    // cannot begin (no events, no query thread), which it logs.
    bool StartScan();
    bool AddFileQueryTask(FileQueryTask* task);
    // Drops every pending task without completing it and ends the run.
    void Abort();
    // Blocks until the query thread has ended, then returns to idle.
    void WaitingStop();
    // True when the last run lost an answer (its report failed, or the
    // query thread ended early): it missed something.
    bool LostAnswers() const;
    void Pause();
    void Resume();
    // Hands a file to the engine for analysis; nothing without an engine.
    void NotifyFile(const std::wstring& path);

    // Registered with the proxy: runs on an engine thread and only copies
    // the answer over and signals.
    static void __cdecl ScanResultCallback(void* context, uint32_t taskId, const wchar_t* path,
                                           const ScanResult* result);

private:
    struct State;
    static void __cdecl RunScanThread(void* context);
    void QueryLoop();
    void OnTrevoxResult(uint32_t taskId, const ScanResult& result);
    void Report(FileQueryTask& task);
    // False when the run stops while the queue is full.
    bool WaitForRoom();
    // Under pendingLock: wakes the enumeration waiting for room once the map
    // holds no more than so many. Woken at half rather than for every
    // answer, it adds in batches: every wake is a trip to the wineserver.
    void FreeRoom(size_t atMost);
    void CheckTimeOut();
    void CheckCompletion();
    int64_t Now() const;

    std::unique_ptr<State> state_;
};

} // namespace RC
