#pragma once
// What a task's configure request asks a run to scan: one of the scan types
// 1..5 and, for the custom types, the paths.
#include <cstdint>
#include <string>
#include <vector>

namespace RC {

struct ScanTypeInfo {
    int32_t scanType = 0;
    std::vector<std::wstring> customPaths;
};

} // namespace RC
