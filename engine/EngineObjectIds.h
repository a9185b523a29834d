#pragma once
// Object ids and export shapes of the two engine libraries. The libraries are
// built by another compiler (MSVC, x86), so only plain C types cross here.

#include <cstdint>

namespace RC {

constexpr wchar_t kScanEngineDll[] = L"Quentor.dll";
constexpr wchar_t kAssistEngineDll[] = L"Halvane.dll";

// Ids are per library: 0x2001 names a different object in each of them.
constexpr std::uint32_t kScanProxyObjectId = 0x2001;      // Quentor.dll
constexpr std::uint32_t kEngineAssistObjectId = 0x1003;   // Halvane.dll
constexpr std::uint32_t kThreatOperatorObjectId = 0x2001; // Halvane.dll

constexpr char kCreateObjExport[] = "CreateObj";
constexpr char kDestroyObjExport[] = "DestroyObj";

// "CreateObj": 0 means success and *object has been written.
using CreateObjFn = std::uint32_t(__cdecl*)(std::uint32_t objectId, void** object);
// "DestroyObj": an object is always destroyed with the id it was created with.
using DestroyObjFn = void(__cdecl*)(std::uint32_t objectId, void* object);

} // namespace RC
