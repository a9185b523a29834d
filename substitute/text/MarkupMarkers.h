#pragma once
// Finds the markup that makes clamscan take a text for HTML: one of its tags
// ("<html>", "<script", "<iframe", ... in the spellings it knows), or "<a "
// with "href" anywhere after it. Fed a file's chunks in order, it finds a
// tag that straddles two chunks too. clamscan reads a plain text with such
// markup as HTML, and matches no signature against the normalised text
// then. Pure: no system calls.

#include <cstddef>
#include <cstdint>

namespace Substitute {

class MarkupMarkers {
public:
    // Whether the bytes hold markup.
    static bool In(const std::uint8_t* data, std::size_t size);

    // A new file.
    void Reset();
    // The file's next bytes.
    void Feed(const std::uint8_t* data, std::size_t size);
    bool Found() const { return found_; }

private:
    static constexpr std::size_t kLongest = 7; // the longest tag, "<script" and its kind

    // Looks for markup starting at [first, last) of bytes[0, size), each wholly inside them.
    void Look(const std::uint8_t* bytes, std::size_t size, std::size_t first, std::size_t last);

    std::uint8_t tail_[2 * kLongest] = {}; // the last chunk's final bytes, then the next one's first
    std::size_t tailSize_ = 0;
    bool anchor_ = false; // "<a " seen: "href" after it is markup
    bool found_ = false;
};

} // namespace Substitute
