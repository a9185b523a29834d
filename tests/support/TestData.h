#pragma once
// What many tests plant and read back: the standard anti-virus test file,
// whole files, and bytes as hex text.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/RCHandles.h"

namespace KivoTest {

inline const std::string kEicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

// The file's bytes; empty when it cannot be opened.
inline std::string ReadAll(const std::wstring& path)
{
    RC::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got != 0)
        bytes.append(buffer, got);
    return bytes;
}

// Lower-case hex, two digits a byte; blanks in expected texts are left out.
inline std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (uint8_t byte : bytes)
        text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
    return text;
}
inline std::string NoBlanks(std::string text)
{
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}
// The bytes of a hex text such as "01000000 5400".
inline std::vector<uint8_t> FromHex(const std::string& text)
{
    const std::string digits = NoBlanks(text);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace KivoTest
