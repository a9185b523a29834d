#pragma once
// The engine's answer for one file: 432 bytes written by the engine. The
// product reads the first three fields and carries the rest unchanged, so the
// layout is fixed to the byte and checked below.

#include <cstddef>
#include <cstdint>

namespace RC {

constexpr std::uint32_t kLevelNothing = 0;
constexpr std::uint32_t kLevelRisk = 2;
constexpr std::uint32_t kLevelThreat = 3;
constexpr std::size_t kThreatNameUnits = 64;

struct ScanResult {
    std::uint32_t level;                  // 0 nothing, 2 risk, 3 threat
    std::uint32_t subLevel;               // category within the level
    wchar_t threatName[kThreatNameUnits]; // zero-terminated
    std::uint8_t engineData[268];         // the engine's own, carried unchanged
    std::uint8_t fileMd5[16];             // handed back by threat operation 4
    std::uint8_t reserved420[4];
    std::uint32_t signatureRecord; // record number of the matching signature, reported with the threat
    std::uint32_t fileSizeLow;     // the file's size, low 32 bits, reported with the threat
};

static_assert(sizeof(wchar_t) == 2, "the engine speaks UTF-16");
static_assert(sizeof(ScanResult) == 432, "ScanResult is 432 bytes");
static_assert(offsetof(ScanResult, level) == 0, "level");
static_assert(offsetof(ScanResult, subLevel) == 4, "subLevel");
static_assert(offsetof(ScanResult, threatName) == 8, "threatName");
static_assert(offsetof(ScanResult, engineData) == 136, "carried bytes");
static_assert(offsetof(ScanResult, fileMd5) == 404, "value of threat operation 4");
static_assert(offsetof(ScanResult, signatureRecord) == 424, "signature record number, first value reported");
static_assert(offsetof(ScanResult, fileSizeLow) == 428, "file size, second value reported");

// Called by the proxy once per accepted query, on one of the engine's threads.
// Everything behind the pointers is only valid during the call.
using ScanResultCallback = void(__cdecl*)(void* context, std::uint32_t taskId, const wchar_t* path,
                                          const ScanResult* result);

} // namespace RC
