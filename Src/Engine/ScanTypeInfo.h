#pragma once
// What a task's configure request asks a run to scan: a scan type and, for
// the custom types, the paths.
#include <cstdint>
#include <string>
#include <vector>

#include "module/RCBusCodes.h"

namespace RC {

struct ScanTypeInfo {
    ScanType scanType{};
    std::vector<std::wstring> customPaths;
};

} // namespace RC
