#pragma once
// The normalised copy of a text, written as the text's chunks go by: letters
// in lower case, every run of white space (tab, line feed, vertical tab, form
// feed, carriage return, space) one space, other control bytes and every byte
// above 0x7F left out (so UTF-16 text of the ASCII range reads as ASCII).
// Control bytes left out do not end a run of white space. Pure: no system
// calls.

#include <cstddef>
#include <cstdint>

namespace Substitute {

class TextNormaliser {
public:
    // clamscan normalises no file larger than this (its max-scriptnormalize).
    static constexpr std::uint64_t kMaxFileSize = 20u << 20;

    // A new text.
    void Reset() { spaceWritten_ = false; }
    // Writes the normalised form of in[0, size) to out, which has room for
    // size bytes; returns the bytes written.
    std::size_t Normalise(const std::uint8_t* in, std::size_t size, std::uint8_t* out);

private:
    bool spaceWritten_ = false;
};

} // namespace Substitute
