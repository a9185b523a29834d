#include "host/KivoTaskEvent.h"

#include <cstdio>
#include <type_traits>

#include "foundation/RCTextConvert.h"
#include "module/RCBusIds.h"

namespace KivoHost {

namespace {

// Appends "name":value pairs to one JSON object.
class JsonLine {
public:
    explicit JsonLine(const char* event) { text_ = "{\"event\":\"" + std::string(event) + "\""; }
    JsonLine& Text(const char* name, const std::wstring& value) { return Raw(name, KivoJsonString(value)); }
    JsonLine& Number(const char* name, uint32_t value) { return Raw(name, std::to_string(value)); }
    template <class Code, class = std::enable_if_t<std::is_enum_v<Code>>>
    JsonLine& Number(const char* name, Code code)
    {
        return Number(name, RC::WireValue(code));
    }
    JsonLine& Bool(const char* name, bool value) { return Raw(name, value ? "true" : "false"); }
    JsonLine& Raw(const char* name, const std::string& value)
    {
        text_ += ",\"" + std::string(name) + "\":" + value;
        return *this;
    }
    std::string Done() const { return text_ + "}"; }

private:
    std::string text_;
};

// The vocabulary's name of a code; the number for any other.
template <class Code>
std::wstring NameOrNumber(Code code)
{
    const wchar_t* name = RC::NameOf(code);
    return name != nullptr ? name : L"code " + std::to_wstring(RC::WireValue(code));
}

template <class Record>
bool DecodeInto(Record& record, const RCBusMessage& message)
{
    const std::vector<uint8_t>* data = message.binary(L"SafeData");
    return data != nullptr && RC::RCDecodeRecord(record, *data);
}

} // namespace

std::string KivoJsonString(const std::wstring& text)
{
    std::wstring escaped;
    escaped.reserve(text.size() + 2);
    for (wchar_t c : text) {
        switch (c) {
        case L'"':
            escaped += L"\\\"";
            break;
        case L'\\':
            escaped += L"\\\\";
            break;
        case L'\n':
            escaped += L"\\n";
            break;
        case L'\r':
            escaped += L"\\r";
            break;
        case L'\t':
            escaped += L"\\t";
            break;
        default:
            if (c < 0x20) {
                wchar_t code[8];
                std::swprintf(code, 8, L"\\u%04x", static_cast<unsigned>(c));
                escaped += code;
            } else {
                escaped += c;
            }
        }
    }
    return "\"" + RCWideToUtf8(escaped) + "\"";
}

std::wstring KivoRunStateName(RC::ScanState state)
{
    return NameOrNumber(state);
}

std::optional<KivoTaskEvent> KivoTaskEvent::Decode(const RCBusMessage& message)
{
    KivoTaskEvent event;
    const std::wstring& id = message.id();
    bool ok = false;
    if (id == RC::EVT_TASK_SETUP_DONE) {
        event.kind_ = Kind::SetupDone;
        ok = DecodeInto(event.setupDone, message);
    } else if (id == RC::EVT_TASK_COMMAND_RESULT) {
        event.kind_ = Kind::CommandResult;
        ok = DecodeInto(event.commandResult, message);
    } else if (id == RC::EVT_SCAN_STATE) {
        event.kind_ = Kind::ScanState;
        ok = DecodeInto(event.scanState, message);
    } else if (id == RC::EVT_SCAN_PROGRESS) {
        event.kind_ = Kind::ScanProgress;
        ok = DecodeInto(event.scanProgress, message);
    } else if (id == RC::EVT_ITEM_STATUS) {
        event.kind_ = Kind::ItemStatus;
        ok = DecodeInto(event.itemStatus, message);
    } else if (id == RC::EVT_ITEM_PROGRESS) {
        event.kind_ = Kind::ItemProgress;
        ok = DecodeInto(event.itemProgress, message);
    } else if (id == RC::EVT_THREAT_FOUND) {
        event.kind_ = Kind::ThreatFound;
        ok = DecodeInto(event.threat, message);
    } else if (id == RC::EVT_OPERATE_STATE) {
        event.kind_ = Kind::OperateState;
        ok = DecodeInto(event.operateState, message);
    } else if (id == RC::EVT_OPERATE_ITEM) {
        event.kind_ = Kind::OperateItem;
        ok = DecodeInto(event.operateItem, message);
    } else if (id == RC::EVT_OPERATE_PROGRESS) {
        event.kind_ = Kind::OperateProgress;
        ok = DecodeInto(event.operateProgress, message);
    }
    if (!ok)
        return std::nullopt;
    return event;
}

const std::wstring& KivoTaskEvent::taskId() const
{
    switch (kind_) {
    case Kind::SetupDone:
        return setupDone.taskId;
    case Kind::CommandResult:
        return commandResult.taskId;
    case Kind::ScanState:
        return scanState.taskId;
    case Kind::ScanProgress:
        return scanProgress.taskId;
    case Kind::ItemStatus:
        return itemStatus.taskId;
    case Kind::ItemProgress:
        return itemProgress.taskId;
    case Kind::ThreatFound:
        return threat.taskId;
    case Kind::OperateState:
        return operateState.taskId;
    case Kind::OperateItem:
        return operateItem.taskId;
    case Kind::OperateProgress:
        break;
    }
    return operateProgress.taskId;
}

std::string KivoTaskEvent::Json() const
{
    switch (kind_) {
    case Kind::SetupDone: {
        std::string items = "[";
        for (const RC::ScanItemEntry& item : setupDone.items) {
            if (items.size() > 1)
                items += ",";
            items += "{\"showType\":" + std::to_string(item.showType) +
                     ",\"displayName\":" + KivoJsonString(item.displayName) + "}";
        }
        return JsonLine("EVT_TASK_SETUP_DONE").Text("TaskId", setupDone.taskId).Raw("items", items + "]").Done();
    }
    case Kind::CommandResult:
        return JsonLine("EVT_TASK_COMMAND_RESULT")
            .Text("TaskId", commandResult.taskId)
            .Number("command", commandResult.command)
            .Bool("result", commandResult.result)
            .Done();
    case Kind::ScanState:
        return JsonLine("EVT_SCAN_STATE")
            .Text("TaskId", scanState.taskId)
            .Number("state", scanState.state)
            .Text("stateName", KivoRunStateName(scanState.state))
            .Number("filesFound", scanState.counts.filesFound)
            .Number("level3Found", scanState.counts.level3Found)
            .Number("level2Found", scanState.counts.level2Found)
            .Done();
    case Kind::ScanProgress:
        return JsonLine("EVT_SCAN_PROGRESS")
            .Text("TaskId", scanProgress.taskId)
            .Number("percent", scanProgress.percent)
            .Text("currentFile", scanProgress.currentFile)
            .Number("currentShowType", scanProgress.currentShowType)
            .Number("level2Found", scanProgress.counts.level2Found)
            .Number("filesFound", scanProgress.counts.filesFound)
            .Number("level3Found", scanProgress.counts.level3Found)
            .Done();
    case Kind::ItemStatus:
        return JsonLine("EVT_ITEM_STATUS")
            .Text("TaskId", itemStatus.taskId)
            .Number("showType", itemStatus.showType)
            .Number("status", itemStatus.status)
            .Text("statusName", NameOrNumber(itemStatus.status))
            .Number("enumerated", itemStatus.counts.enumerated)
            .Number("level2", itemStatus.counts.level2)
            .Number("level3", itemStatus.counts.level3)
            .Done();
    case Kind::ItemProgress:
        return JsonLine("EVT_ITEM_PROGRESS")
            .Text("TaskId", itemProgress.taskId)
            .Number("showType", itemProgress.showType)
            .Number("status", itemProgress.status)
            .Text("statusName", NameOrNumber(itemProgress.status))
            .Number("scanned", itemProgress.counts.scanned)
            .Number("enumerated", itemProgress.counts.enumerated)
            .Number("level2", itemProgress.counts.level2)
            .Number("level3", itemProgress.counts.level3)
            .Done();
    case Kind::ThreatFound:
        return JsonLine("EVT_THREAT_FOUND")
            .Text("TaskId", threat.taskId)
            .Number("queryId", threat.queryId)
            .Text("filePath", threat.filePath)
            // What the engine puts in these two result values.
            .Number("signatureRecord", threat.signatureRecord)
            .Number("fileSize", threat.fileSize)
            .Number("showType", threat.showType)
            .Text("description", threat.description)
            .Text("advice", threat.advice)
            .Text("threatName", threat.threatName)
            .Number("categoryCode", threat.categoryCode)
            .Text("categoryName", threat.categoryName)
            .Number("actionCode", threat.actionCode)
            .Text("actionName", threat.actionName)
            .Done();
    case Kind::OperateState:
        return JsonLine("EVT_OPERATE_STATE")
            .Text("TaskId", operateState.taskId)
            .Number("phase", operateState.phase)
            .Text("phaseName", NameOrNumber(operateState.phase))
            .Number("operation", operateState.operation)
            .Done();
    case Kind::OperateItem:
        return JsonLine("EVT_OPERATE_ITEM")
            .Text("TaskId", operateItem.taskId)
            .Number("queryId", operateItem.queryId)
            .Number("outcome", operateItem.outcome)
            .Text("outcomeName", NameOrNumber(operateItem.outcome))
            .Number("operation", operateItem.operation)
            .Done();
    case Kind::OperateProgress:
        break;
    }
    return JsonLine("EVT_OPERATE_PROGRESS")
        .Text("TaskId", operateProgress.taskId)
        .Number("processed", operateProgress.processed)
        .Number("total", operateProgress.total)
        .Done();
}

} // namespace KivoHost
