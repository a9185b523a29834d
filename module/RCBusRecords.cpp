#include "module/RCBusRecords.h"

namespace RC {

namespace {

// Smallest encoding of a list element: the reader never believes a count
// that the remaining bytes could not hold.
constexpr uint32_t kMinWString = 4;
constexpr uint32_t kU32 = 4;
constexpr uint32_t kMinScanItem = kU32 + kMinWString;

} // namespace

void TaskSetupRequest::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(scanType);
    s.TransferList(customPaths, kMinWString, [](RCSafeDataStream& e, std::wstring& path) { e.Transfer(path); });
}

void TaskCommandRequest::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(command);
}

void TaskOperateRequest::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(operation);
    s.TransferList(queryIds, kU32, [](RCSafeDataStream& e, uint32_t& id) { e.Transfer(id); });
}

void TaskCancelOperateRequest::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
}

void TaskSetupDoneEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.TransferList(items, kMinScanItem, [](RCSafeDataStream& e, ScanItemEntry& item) {
        e.Transfer(item.showType);
        e.Transfer(item.displayName);
    });
}

void TaskCommandResultEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(command);
    s.Transfer(result);
}

void ScanStateEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(state);
    s.Transfer(counts.filesFound);
    s.Transfer(counts.level3Found);
    s.Transfer(counts.level2Found);
}

void ScanProgressEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(percent);
    s.Transfer(currentFile);
    s.Transfer(currentShowType);
    s.Transfer(counts.level2Found);
    s.Transfer(counts.filesFound);
    s.Transfer(counts.level3Found);
}

void ItemStatusEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(showType);
    s.Transfer(status);
    s.Transfer(counts.enumerated);
    s.Transfer(counts.level2);
    s.Transfer(counts.level3);
}

void ItemProgressEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(showType);
    s.Transfer(status);
    s.Transfer(counts.scanned);
    s.Transfer(counts.enumerated);
    s.Transfer(counts.level2);
    s.Transfer(counts.level3);
}

void ThreatFoundEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(queryId);
    s.Transfer(filePath);
    s.Transfer(signatureRecord);
    s.Transfer(fileSize);
    s.Transfer(showType);
    s.Transfer(description);
    s.Transfer(advice);
    s.Transfer(threatName);
    s.Transfer(categoryCode);
    s.Transfer(categoryName);
    s.Transfer(actionCode);
    s.Transfer(actionName);
}

void OperateStateEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(phase);
    s.Transfer(operation);
}

void OperateItemEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(queryId);
    s.Transfer(outcome);
    s.Transfer(operation);
}

void OperateProgressEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(taskId);
    s.Transfer(processed);
    s.Transfer(total);
}

void NetStateEvent::Transfer(RCSafeDataStream& s)
{
    s.Transfer(connected);
}

} // namespace RC
