#pragma once
// One event of a scan task as kivoscan sees it on the bus: the decoded record
// and its JSON line. Decoding and rendering keep to the record codec and plain
// text, so a script reading --json sees exactly what the module sent.
#include <optional>
#include <string>

#include "host/RCBusMessage.h"
#include "module/RCBusRecords.h"

namespace KivoHost {

class KivoTaskEvent {
public:
    enum class Kind {
        SetupDone,
        CommandResult,
        ScanState,
        ScanProgress,
        ItemStatus,
        ItemProgress,
        ThreatFound,
        OperateState,
        OperateItem,
        OperateProgress,
    };

    // Nothing for a message that is no task event or whose record cannot be read.
    static std::optional<KivoTaskEvent> Decode(const RCBusMessage& message);

    Kind kind() const { return kind_; }
    const std::wstring& taskId() const;
    // The event name, "TaskId" and every field by its name, texts in UTF-8,
    // on one line without its line end.
    std::string Json() const;

    // Only the member of this kind is filled.
    RC::TaskSetupDoneEvent setupDone;
    RC::TaskCommandResultEvent commandResult;
    RC::ScanStateEvent scanState;
    RC::ScanProgressEvent scanProgress;
    RC::ItemStatusEvent itemStatus;
    RC::ItemProgressEvent itemProgress;
    RC::ThreatFoundEvent threat;
    RC::OperateStateEvent operateState;
    RC::OperateItemEvent operateItem;
    RC::OperateProgressEvent operateProgress;

private:
    Kind kind_ = Kind::ScanState;
};

// A JSON string literal of the text, in UTF-8 with the quotes.
std::string KivoJsonString(const std::wstring& text);

// The name of a run state ("completed", ...), or its number outside the vocabulary.
std::wstring KivoRunStateName(RC::ScanState state);

} // namespace KivoHost
