#pragma once
// What the engine's "CreateObj" answers: 0 when the object pointer has been
// written, otherwise one of these codes (the caller only tells 0 from the
// rest; the codes say why to someone reading a trace).
#include <cstdint>

namespace Substitute {

constexpr std::uint32_t kEngineOk = 0;
constexpr std::uint32_t kEngineNoSuchObject = 0x80004002; // E_NOINTERFACE
constexpr std::uint32_t kEngineBadPointer = 0x80004003;   // E_POINTER
constexpr std::uint32_t kEngineNoMemory = 0x8007000E;     // E_OUTOFMEMORY

} // namespace Substitute
