#pragma once
// The built-in check for the EICAR test file: the standard 68-byte text at
// offset 0, optionally followed by whitespace, the whole file at most 128
// bytes. Pure: no system calls.

#include <cstddef>
#include <cstdint>

namespace Substitute {

constexpr wchar_t kEicarName[] = L"Eicar-Test-Signature";
constexpr std::size_t kEicarMaxFileSize = 128;

class EicarCheck {
public:
    // data holds the whole file.
    static bool Matches(const std::uint8_t* data, std::size_t size);
};

} // namespace Substitute
