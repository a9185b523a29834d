#pragma once
// One file of a scan run on its way through the engine, or a marker: a task
// with scan group 0 carries no file and ends a scan item (show type 0..45) or,
// with kEndOfRunShowType, the whole run. Copied by value into the pending map
// and the trojan list.
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/ScanResult.h"
#include "module/RCBusCodes.h"

namespace RC {

struct FileQueryTask {
    uint32_t taskId = 0;
    uint32_t scanGroup = 0;
    uint32_t showType = 0;
    std::wstring path;
    std::wstring subItem;
    ScanResult result;

    FileQueryTask() { std::memset(&result, 0, sizeof result); }
    bool IsMarker() const { return scanGroup == 0; }
    // The engine's verdict; only a file has one.
    ThreatLevel level() const { return static_cast<ThreatLevel>(result.level); }
    bool IsEndOfRun() const { return IsMarker() && showType == kEndOfRunShowType; }
};

} // namespace RC
