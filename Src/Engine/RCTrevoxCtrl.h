#pragma once
// One scan run of one task: the plan's enumerators, the enumeration threads
// that walk them, the file scan queue that sends every file to the engine,
// the trojan list of distinct threats, and the progress record that reports
// all of it.
//
// Threads: the task info calls the lifecycle operations (Initialize to
// UnInitialize, start, suspend, resume, stop) on the bus thread, one at a
// time. The enumeration events come on the enumeration thread, the query
// events on the queue's query thread (and, for markers and failed
// submissions, on the enumeration thread). The controller has no lock of its
// own fields: each counter has one writer thread, the two that both event
// threads count (queried, answered) are interlocked, the item status is
// decided under a small lock so that it never goes back, and the run state
// under another, so that no suspend follows the end of a run and no stop is
// lost as the run begins. Neither is held across an engine call.
//
// Pause: SuspendScan enters the gate's critical section on the bus thread and
// ResumeScan, StopScan or the next StartScan leaves it there; the workers
// pass through it in CheckStopped, so they wait while the scan is suspended.
// Suspend and resume must therefore come from the same thread.
//
// Ownership: the controller owns the queue, the enumeration threads, the
// trojan list and the gate; enumerators and the filter are counted.
#include <cstdint>
#include <memory>
#include <vector>

#include "Src/Engine/Enumerator/IAvEnumFileEvent.h"
#include "Src/Engine/Enumerator/ItemStats.h"
#include "Src/Engine/RCSafeTrevoxOb.h"
#include "Src/Engine/RCTrojaneList.h"
#include "Src/Engine/ScanTypeInfo.h"
#include "Src/Engine/Scanner/IAvFileScanEvent.h"
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
    // Prepares the next run; ignored while a run is in progress.
    void SetScanTypeInfo(const ScanTypeInfo& info);
    // False while a run is in progress (from StartScan to its end state).
    bool StartScan();
    bool SuspendScan();
    bool ResumeScan();
    void StopScan();
    // Hands the files of the listed threats to the engine for analysis.
    void ForwardThreatPaths(const std::vector<uint32_t>& taskIds);

    RCTrojaneList* GetTrojaneList();
    RCSafeTrevoxOb* GetObserver();

    // The done units of one item, recomputed only when it is dirty.
    static uint32_t ItemDone(ItemStats& stats);
    // 20 plus the done share of 79, over the items of a run.
    static uint32_t PercentOf(const std::vector<ItemStats*>& items);

private:
    struct State;
    void RunScanTask();
    bool FireScanStartEvent();
    void FireScanEndEvent();
    void CalcItemStatus(int32_t showType, ItemStats* stats);
    void UpdatePercent();
    IAvEnumFile* FindEnumerator(uint32_t showType) const;
    void OpenGate();

    std::unique_ptr<State> state_;
};

} // namespace RC
