#include "foundation/RCNoThrowBoundary.h"

#include <string>

#include "foundation/RCDebugger.h"
#include "foundation/RCTextConvert.h"

namespace RC {

void RCLogEscapedException(const char* slot, const char* what) noexcept
{
    try {
        const std::wstring slotName = RCAnsiToWide(slot != nullptr ? slot : "");
        const std::wstring caught = what != nullptr ? RCAnsiToWide(what) : std::wstring(L"unknown exception");
        RC_LOG(Failure, L"%s exception: %s", slotName.c_str(), caught.c_str());
    } catch (...) {
        // Out of memory even for the line: the slot's failure value says enough.
    }
}

} // namespace RC
