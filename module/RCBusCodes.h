#pragma once
// The codes the bus's records carry, by name: what peers send in requests and
// read in the module's events. Pure vocabulary with no module class behind it,
// so that every layer of the module, the reference host, kivoscan and the
// tests speak it alike. The numbers are the wire values peers already read:
// they never change, and the asserts at the end hold them to that.
#include <cstddef>
#include <cstdint>

namespace RC {

// The run state of EVT_SCAN_STATE. A start first clears the peers' view of
// the task with NotStarted.
enum class ScanState : uint32_t { NotStarted = 0, Scanning = 1, Suspended = 2, Stopped = 3, Completed = 4 };

// The status of one scan item in EVT_ITEM_STATUS and EVT_ITEM_PROGRESS.
enum class ItemStatus : uint32_t {
    NotStarted = 0,
    Enumerating = 1, // its enumerator is still walking
    Scanning = 2,    // walked, answers outstanding
    Finished = 3,    // its end marker and every file answered
};

// The engine's verdict on a file (the level of its result); only risks and
// threats are findings.
enum class ThreatLevel : uint32_t { Clean = 0, Risk = 2, Threat = 3 };

// The command of REQ_TASK_COMMAND, echoed by EVT_TASK_COMMAND_RESULT.
enum class Command : uint32_t { Start = 0, Stop = 1, Suspend = 2, Resume = 3 };

// The operation of REQ_TASK_OPERATE: the engine's two threat operations, and
// the hand-over of threats' paths to the engine for analysis.
enum class Operation : uint32_t { Quarantine = 1, Restore = 4, ForwardThreatPaths = 6 };

// The course of an operation: EVT_OPERATE_STATE's phase, EVT_OPERATE_ITEM's
// outcome for one threat.
enum class OperatePhase : uint32_t { Started = 0, Finished = 4 };
enum class OperateOutcome : uint32_t { Started = 0, Failed = 1, Succeeded = 2 };

// The scan type of REQ_TASK_SETUP. The two custom types scan the same.
enum class ScanType : uint32_t { Quick = 1, Full = 2, Custom = 3, CustomToo = 4, Memory = 5 };

// Show types named where they are treated apart: the plan's file-system
// items, the hijacks with threat descriptions of their own, the memory item.
constexpr uint32_t kImageHijackShowType = 0;
constexpr uint32_t kSearchHijackShowType = 2;
constexpr uint32_t kDownloadToolShowType = 6;
constexpr uint32_t kSystemMemoryShowType = 17;
constexpr uint32_t kShortcutsShowType = 20;
constexpr uint32_t kCommonSoftwareShowType = 21;
constexpr uint32_t kCommonLocationsShowType = 22;
constexpr uint32_t kKeySystemFoldersShowType = 23;
constexpr uint32_t kAllDisksShowType = 25;
constexpr uint32_t kCustomPathsShowType = 26;
// No item: marks the end of a run. Items are 0 to 45.
constexpr uint32_t kEndOfRunShowType = 46;
constexpr uint32_t kShowTypeCount = kEndOfRunShowType;

// A code as the record carries it.
template <class Code>
constexpr uint32_t WireValue(Code code)
{
    return static_cast<uint32_t>(code);
}

// The file kinds the module's filter hands to the engine: a dot and three
// letters, compared without case. Peers use it to tell beforehand which
// files a custom scan passes over.
constexpr const wchar_t* kScannedExtensions[] = {L".exe", L".dll", L".sys", L".com", L".cpl", L".vir", L".drv", L".scr",
                                                 L".ocx", L".bat", L".cmd", L".pif", L".rar", L".zip", L".doc"};

// What peers call the codes (kivoscan's summary and JSON lines).
template <class Code>
struct CodeName {
    Code code;
    const wchar_t* name;
};

constexpr CodeName<ScanState> kScanStateNames[] = {{ScanState::NotStarted, L"not started"},
                                                   {ScanState::Scanning, L"scanning"},
                                                   {ScanState::Suspended, L"suspended"},
                                                   {ScanState::Stopped, L"stopped"},
                                                   {ScanState::Completed, L"completed"}};
constexpr CodeName<ItemStatus> kItemStatusNames[] = {{ItemStatus::NotStarted, L"not started"},
                                                     {ItemStatus::Enumerating, L"enumerating"},
                                                     {ItemStatus::Scanning, L"scanning"},
                                                     {ItemStatus::Finished, L"finished"}};
constexpr CodeName<OperatePhase> kOperatePhaseNames[] = {{OperatePhase::Started, L"started"},
                                                         {OperatePhase::Finished, L"finished"}};
constexpr CodeName<OperateOutcome> kOperateOutcomeNames[] = {{OperateOutcome::Started, L"started"},
                                                             {OperateOutcome::Failed, L"failed"},
                                                             {OperateOutcome::Succeeded, L"succeeded"}};

// The code's name in its table; null for a value outside the vocabulary.
template <class Code, size_t N>
constexpr const wchar_t* NameIn(const CodeName<Code> (&names)[N], Code code)
{
    for (const CodeName<Code>& entry : names)
        if (entry.code == code)
            return entry.name;
    return nullptr;
}

constexpr const wchar_t* NameOf(ScanState state)
{
    return NameIn(kScanStateNames, state);
}
constexpr const wchar_t* NameOf(ItemStatus status)
{
    return NameIn(kItemStatusNames, status);
}
constexpr const wchar_t* NameOf(OperatePhase phase)
{
    return NameIn(kOperatePhaseNames, phase);
}
constexpr const wchar_t* NameOf(OperateOutcome outcome)
{
    return NameIn(kOperateOutcomeNames, outcome);
}

// The wire values, as peers read them.
static_assert(WireValue(ScanState::NotStarted) == 0);
static_assert(WireValue(ScanState::Scanning) == 1);
static_assert(WireValue(ScanState::Suspended) == 2);
static_assert(WireValue(ScanState::Stopped) == 3);
static_assert(WireValue(ScanState::Completed) == 4);
static_assert(WireValue(ItemStatus::NotStarted) == 0);
static_assert(WireValue(ItemStatus::Enumerating) == 1);
static_assert(WireValue(ItemStatus::Scanning) == 2);
static_assert(WireValue(ItemStatus::Finished) == 3);
static_assert(WireValue(ThreatLevel::Clean) == 0);
static_assert(WireValue(ThreatLevel::Risk) == 2);
static_assert(WireValue(ThreatLevel::Threat) == 3);
static_assert(WireValue(Command::Start) == 0);
static_assert(WireValue(Command::Stop) == 1);
static_assert(WireValue(Command::Suspend) == 2);
static_assert(WireValue(Command::Resume) == 3);
static_assert(WireValue(Operation::Quarantine) == 1);
static_assert(WireValue(Operation::Restore) == 4);
static_assert(WireValue(Operation::ForwardThreatPaths) == 6);
static_assert(WireValue(OperatePhase::Started) == 0);
static_assert(WireValue(OperatePhase::Finished) == 4);
static_assert(WireValue(OperateOutcome::Started) == 0);
static_assert(WireValue(OperateOutcome::Failed) == 1);
static_assert(WireValue(OperateOutcome::Succeeded) == 2);
static_assert(WireValue(ScanType::Quick) == 1);
static_assert(WireValue(ScanType::Full) == 2);
static_assert(WireValue(ScanType::Custom) == 3);
static_assert(WireValue(ScanType::CustomToo) == 4);
static_assert(WireValue(ScanType::Memory) == 5);
static_assert(kImageHijackShowType == 0);
static_assert(kSearchHijackShowType == 2);
static_assert(kDownloadToolShowType == 6);
static_assert(kSystemMemoryShowType == 17);
static_assert(kShortcutsShowType == 20);
static_assert(kCommonSoftwareShowType == 21);
static_assert(kCommonLocationsShowType == 22);
static_assert(kKeySystemFoldersShowType == 23);
static_assert(kAllDisksShowType == 25);
static_assert(kCustomPathsShowType == 26);
static_assert(kEndOfRunShowType == 46);
static_assert(sizeof(kScannedExtensions) / sizeof(kScannedExtensions[0]) == 15);

} // namespace RC
