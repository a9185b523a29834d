#pragma once
// The records carried in "SafeData", requests and events alike. Each lists its
// fields once, in wire order, in Transfer; the module reads requests and writes
// events with them, and peers (the reference host, kivoscan, the tests) do the
// opposite with the same code. Several wire orders differ from the natural
// order of the values: they are kept exactly as peers read them.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/ItemCounts.h"
#include "foundation/RunCounts.h"
#include "module/RCBusCodes.h"
#include "module/RCSafeDataStream.h"

namespace RC {

// Serialises a record into a fresh buffer.
template <class Record>
std::vector<uint8_t> RCEncodeRecord(const Record& record)
{
    RCSafeDataStream out = RCSafeDataStream::ForWriting();
    const_cast<Record&>(record).Transfer(out); // a writing stream only reads the fields
    return out.bytes();
}

// Reads a record from a block as handed to OnReceiveMessage. Fails on a null
// or empty block, a truncated field or a list count the remaining bytes cannot
// hold; trailing bytes are ignored.
template <class Record>
[[nodiscard]] bool RCDecodeRecord(Record& record, const uint8_t* data, uint32_t size)
{
    RCSafeDataStream in = RCSafeDataStream::ForReading(data, size);
    record.Transfer(in);
    return in.ok();
}

template <class Record>
[[nodiscard]] bool RCDecodeRecord(Record& record, const std::vector<uint8_t>& block)
{
    return RCDecodeRecord(record, block.data(), static_cast<uint32_t>(block.size()));
}

// ---- Requests -------------------------------------------------------------

struct TaskSetupRequest {
    std::wstring taskId;
    ScanType scanType{};
    std::vector<std::wstring> customPaths;
    void Transfer(RCSafeDataStream& s);
};

struct TaskCommandRequest {
    std::wstring taskId;
    Command command{};
    void Transfer(RCSafeDataStream& s);
};

struct TaskOperateRequest {
    std::wstring taskId;
    Operation operation{};
    std::vector<uint32_t> queryIds; // query ids of found threats, as EVT_THREAT_FOUND carries them
    void Transfer(RCSafeDataStream& s);
};

struct TaskCancelOperateRequest {
    std::wstring taskId;
    void Transfer(RCSafeDataStream& s);
};

// ---- Events and replies ---------------------------------------------------

struct ScanItemEntry {
    uint32_t showType = 0;
    std::wstring displayName;
};

struct TaskSetupDoneEvent {
    std::wstring taskId;
    std::vector<ScanItemEntry> items;
    void Transfer(RCSafeDataStream& s);
};

struct TaskCommandResultEvent {
    std::wstring taskId;
    Command command{};
    bool result = false;
    void Transfer(RCSafeDataStream& s);
};

struct ScanStateEvent {
    std::wstring taskId;
    ScanState state{};
    RunCounts counts;
    void Transfer(RCSafeDataStream& s);
};

struct ScanProgressEvent {
    std::wstring taskId;
    uint32_t percent = 0;
    std::wstring currentFile;
    uint32_t currentShowType = 0;
    RunCounts counts;
    void Transfer(RCSafeDataStream& s);
};

// The two item events carry one item's status and counts, each in its own
// wire order (the status event leaves out the scanned count).
struct ItemEventValues {
    std::wstring taskId;
    uint32_t showType = 0;
    ItemStatus status{};
    ItemCounts counts;
};

struct ItemStatusEvent : ItemEventValues {
    void Transfer(RCSafeDataStream& s);
};

struct ItemProgressEvent : ItemEventValues {
    void Transfer(RCSafeDataStream& s);
};

struct ThreatFoundEvent {
    std::wstring taskId;
    uint32_t queryId = 0;
    std::wstring filePath;
    // The engine's values at bytes 424 and 428 of its ScanResult, carried as
    // they came.
    uint32_t signatureRecord = 0; // record number of the matching signature
    uint32_t fileSize = 0;        // low 32 bits
    uint32_t showType = 0;
    std::wstring description;
    std::wstring advice;
    std::wstring threatName;
    uint32_t categoryCode = 0;
    std::wstring categoryName;
    uint32_t actionCode = 0;
    std::wstring actionName;
    void Transfer(RCSafeDataStream& s);
};

struct OperateStateEvent {
    std::wstring taskId;
    OperatePhase phase{};
    Operation operation{};
    void Transfer(RCSafeDataStream& s);
};

struct OperateItemEvent {
    std::wstring taskId;
    uint32_t queryId = 0;
    OperateOutcome outcome{};
    Operation operation{};
    void Transfer(RCSafeDataStream& s);
};

struct OperateProgressEvent {
    std::wstring taskId;
    uint32_t processed = 0;
    uint32_t total = 0;
    void Transfer(RCSafeDataStream& s);
};

struct NetStateEvent {
    bool connected = false;
    void Transfer(RCSafeDataStream& s);
};

} // namespace RC
