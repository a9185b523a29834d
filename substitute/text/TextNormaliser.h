#pragma once
// The normalised copy of a text, written as the text's chunks go by: letters
// in lower case, every run of white space (tab, line feed, vertical tab, form
// feed, carriage return, space) one space, other control bytes and every byte
// above 0x7F left out (so UTF-16 text of the ASCII range reads as ASCII).
// Control bytes left out do not end a run of white space.
//
// clamscan writes the copy into a buffer of 128 KiB plus the longest pattern
// of target type 7 (kept from one buffer to the next), and starts each
// buffer afresh: a run of white space that a buffer's end cuts in two is
// written on both sides of the cut. Where the copy is matched as written,
// the text is read in 4 KiB pages and a buffer ends before a page that may
// not fit; where it is kept as a file, a buffer ends when it is full. The
// copy here is cut where clamscan's is. Pure: no system calls.

#include <cstddef>
#include <cstdint>

namespace Substitute {

class TextNormaliser {
public:
    // clamscan normalises no file larger than this (its max-scriptnormalize).
    static constexpr std::uint64_t kMaxFileSize = 20u << 20;

    // A new text of this size; carry: the longest pattern of target type 7.
    void Reset(std::uint64_t fileSize, std::size_t carry, bool asFile);
    // Writes the normalised form of the text's next size bytes to out,
    // which has room for size bytes; returns the bytes written.
    std::size_t Normalise(const std::uint8_t* in, std::size_t size, std::uint8_t* out);

private:
    static constexpr std::size_t kBufferBytes = 128u << 10;
    static constexpr std::size_t kPageBytes = 4u << 10;

    std::uint64_t textLeft_ = 0; // bytes of the text not yet normalised
    std::size_t pageLeft_ = 0;   // of the page under way
    std::size_t bufferSize_ = 0; // clamscan's buffer: 128 KiB and the carry
    std::size_t bufferFill_ = 0; // written into it
    std::size_t carry_ = 0;
    bool asFile_ = false;
    bool spaceWritten_ = false;
};

} // namespace Substitute
