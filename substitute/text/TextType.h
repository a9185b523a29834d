#pragma once
// Whether clamscan takes a file for text, from its first KiB as clamscan
// types files: no file kind of its own (a magic number at the start, such as
// "MZ", "PK", "%PDF-", mail headers), then plain text (no control byte but
// tab, line ends, form feed, bell, backspace and escape; bytes above 0x7F
// allowed) or, failing that, UTF-16 by clamscan's rule for it, and none of
// the markers in that KiB that make the file HTML, mail, PDF, an executable
// or an office document instead. What clamscan finds past the first KiB
// (markup in a plain text: MarkupMarkers) is the caller's to look for.
// Pure: no system calls.

#include <cstddef>
#include <cstdint>

namespace Substitute {

enum class TextKind : std::uint8_t { None, Plain, Utf16 };

class TextType {
public:
    // How much of a file's start the type is read from.
    static constexpr std::size_t kHeadBytes = 1024;

    // head: the file's first min(its size, kHeadBytes) bytes.
    static TextKind Of(const std::uint8_t* head, std::size_t size);
};

} // namespace Substitute
