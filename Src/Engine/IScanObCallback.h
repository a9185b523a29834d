#pragma once
// What a scan run reports about itself; implemented by the task info, which
// turns each call into a bus event. Called on the controller's worker threads
// and on the bus thread, under the controller's and the observer's locks so
// that events are queued in the order they were decided: an implementation
// only queues its post and never waits.
#include <cstdint>
#include <string>

#include "foundation/ItemCounts.h"
#include "foundation/RunCounts.h"
#include "module/RCBusCodes.h"

namespace RC {

struct ScanStatusBlock {
    ScanState state = ScanState::NotStarted;
    RunCounts counts;
};

struct ScanProgressBlock {
    uint32_t percent = 0;
    RunCounts counts;
    uint32_t currentShowType = 0;
    std::wstring currentFile;
};

// One scan item's row of the progress record; both item notifications carry
// it whole, and each item event takes the counts it reports.
struct ItemRow {
    ItemStatus status = ItemStatus::NotStarted;
    ItemCounts counts;
};

class IScanObCallback {
public:
    virtual void OnScanStateChange(const ScanStatusBlock* status) = 0;
    virtual void OnScanProgressChange(const ScanProgressBlock* progress) = 0;
    virtual void OnItemStatusChange(uint32_t showType, const ItemRow* row) = 0;
    virtual void OnItemProgressChange(uint32_t showType, const ItemRow* row) = 0;
    virtual ~IScanObCallback() = default;
};

} // namespace RC
