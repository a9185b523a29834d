#pragma once
// Failures show the bus's codes by name and wire value ("suspended (2)"),
// not as the bytes of an object. GoogleTest finds the operator by
// argument-dependent lookup; any test that compares codes includes this header.
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

// Every scoped enum of the namespace; the bus's codes print with their names.
template <class Code, class = std::enable_if_t<std::is_enum_v<Code> && !std::is_convertible_v<Code, int>>>
std::ostream& operator<<(std::ostream& os, Code code)
{
    PrintCode(code, &os);
    return os;
}

} // namespace RC
