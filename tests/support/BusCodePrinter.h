#pragma once
// Failures show the bus's codes by name and wire value ("suspended (2)"),
// not as the bytes of an object. GoogleTest finds these by argument-dependent
// lookup; any test that compares codes includes this header.
#include <ostream>
#include <type_traits>
#include <utility>

#include "module/RCBusCodes.h"

namespace RC {

template <class Code, class = void>
struct HasCodeName : std::false_type {
};
template <class Code>
struct HasCodeName<Code, std::void_t<decltype(NameOf(std::declval<Code>()))>> : std::true_type {
};

template <class Code>
void PrintCode(Code code, std::ostream* os)
{
    if constexpr (HasCodeName<Code>::value) {
        for (const wchar_t* c = NameOf(code); c != nullptr && *c != L'\0'; ++c)
            *os << static_cast<char>(*c);
        *os << ' ';
    }
    *os << '(' << WireValue(code) << ')';
}

inline void PrintTo(ScanState code, std::ostream* os)
{
    PrintCode(code, os);
}
inline void PrintTo(ItemStatus code, std::ostream* os)
{
    PrintCode(code, os);
}
inline void PrintTo(ThreatLevel code, std::ostream* os)
{
    PrintCode(code, os);
}
inline void PrintTo(Command code, std::ostream* os)
{
    PrintCode(code, os);
}
inline void PrintTo(Operation code, std::ostream* os)
{
    PrintCode(code, os);
}
inline void PrintTo(OperatePhase code, std::ostream* os)
{
    PrintCode(code, os);
}
inline void PrintTo(OperateOutcome code, std::ostream* os)
{
    PrintCode(code, os);
}
inline void PrintTo(ScanType code, std::ostream* os)
{
    PrintCode(code, os);
}

} // namespace RC
