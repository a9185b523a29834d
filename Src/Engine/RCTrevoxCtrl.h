#pragma once
// One scan run of one task: the plan's enumerators, the enumeration threads
// that walk them, the file scan queue that sends every file to the engine,
// the trojan list of distinct threats, and the progress record that reports
// all of it.
//
// Threads: the task info calls the lifecycle operations (Initialize to
// UnInitialize, start, suspend, resume, stop) on a bus thread, one call at a
// time but not always from the same thread. The enumeration events come on
// the enumeration thread, the query events on the queue's query thread (and,
// for markers and failed submissions, on the enumeration thread).
//
// The run is one state (idle, starting, scanning, suspended, stopping) under
// runLock, changed only by Transition. The item counters, the item statuses
// and the percentage are the item tally's (RCItemTally), under its own lock.
// Neither lock is held across a call into the host or the engine: the events
// they decide are queued under them (the module's poster only queues there),
// so they reach peers in the order they were decided.
//
// Pause: the gate is a manual-reset event, open unless suspended; workers
// wait on it in CheckStopped. Any thread may open it (resume, stop, module
// stop, release), whichever thread closed it.
//
// Ownership: the controller owns the queue, the enumeration threads, the
// trojan list and the gate; enumerators and the filter are counted. The plan
// (what SetScanTypeInfo prepares) belongs to the bus thread; a start copies
// it into the run, which the workers read and nobody changes until the run
// has ended.
#include <cstdint>
#include <memory>
#include <vector>

#include "Src/Engine/Enumerator/IAvEnumFileEvent.h"
#include "Src/Engine/RCSafeTrevoxOb.h"
#include "Src/Engine/RCTrojaneList.h"
#include "Src/Engine/ScanTypeInfo.h"
#include "Src/Engine/Scanner/IAvFileScanEvent.h"
#include "Src/Engine/Scanner/RCRunFaults.h"
#include "foundation/RCNonCopyable.h"

namespace RC {

class RCSafeTrevoxCtrl : public IAvEnumFileEvent, public IAvFileScanEvent, private RCNonCopyable {
public:
    RCSafeTrevoxCtrl();
    ~RCSafeTrevoxCtrl() override;

    // IAvEnumFileEvent, on the enumeration thread.
    bool OnEnumStart() override;
    bool OnEnumItemStart(IAvEnumFile* enumerator) override;
    bool OnEnumFile(IAvEnumFile* enumerator, const std::wstring& path, const std::wstring& subItem) override;
    bool OnEnumFileEnd(IAvEnumFile* enumerator) override;
    void OnEnumEnd(bool stopped) override;
    // True once the run is stopped; blocks while it is suspended.
    virtual bool CheckStopped();

    // IAvFileScanEvent.
    bool OnQueryBegin() override;
    bool OnFileQueryBegin(FileQueryTask* task) override;
    bool OnFileQueryEnd(FileQueryTask* task) override;
    bool OnQueryEnd() override;

    // Bus thread. The argument goes unchanged to the engine proxy.
    bool Initialize(const wchar_t* engineArgument);
    void UnInitialize();
    // Prepares the next run; ignored from the run's first state to its end.
    void SetScanTypeInfo(const ScanTypeInfo& info);
    // Clears the peers' view of the run, then starts one. False only while a
    // run is in progress (from its first state to its end state); a start
    // before the run has begun is already under way and answers true. A run
    // whose own machinery fails to start ends in the stopped state.
    bool StartScan();
    bool SuspendScan();
    bool ResumeScan();
    void StopScan();
    // Hands the files of the listed threats to the engine for analysis.
    void ForwardThreatPaths(const std::vector<uint32_t>& taskIds);

    // Between runs; the queue's events are made by Initialize.
    void SetFaults(const RCRunFaults& faults);

    RCTrojaneList* GetTrojaneList();
    RCSafeTrevoxOb* GetObserver();

private:
    struct State;
    enum class RunEvent;
    struct Step;
    // The run's only state change: under the run lock, queues the state it
    // publishes; what the step asks for is done after the lock.
    Step Transition(RunEvent event);
    // Transition, then the step's stop, then the queued posts.
    bool Apply(RunEvent event);
    bool AcceptsPlan();
    bool BeginRun();
    void RunScanTask();
    IAvEnumFile* FindEnumerator(uint32_t showType) const;

    std::unique_ptr<State> state_;
};

} // namespace RC
