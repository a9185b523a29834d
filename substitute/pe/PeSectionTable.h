#pragma once
// A PE file's layout as clamscan computes it, since clamscan's verdicts are
// the ones ours must equal: where each section's raw data lies once aligned
// and cut by the file's end, where the entry point lies, and whether the
// header is readable at all. Every field is untrusted. Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace Substitute {

struct PeSection {
    std::uint64_t offset = 0; // of its raw data in the file, aligned down to the file alignment
    std::uint64_t size = 0;   // of its raw data, aligned up and cut at the file's end; 0: none in the file
};

struct PeSections {
    enum class Shape {
        NotPe,        // does not start with "MZ": no image offsets, nothing hashed
        Pe,           // sections hashed, every offset placed
        SectionsOnly, // sections hashed, no offset placed (see kSignBit in the source)
        Broken,       // starts with "MZ", header unreadable: nothing hashed, no offset placed, not even EOF-n
    };
    Shape shape = Shape::NotPe;
    std::vector<PeSection> sections;         // every header of the table, in table order (Sx counts them)
    std::optional<std::uint64_t> entryPoint; // file offset; set when shape is Pe

    bool PlacesOffsets() const { return shape == Shape::Pe; }
    bool HashesSections() const { return shape == Shape::Pe || shape == Shape::SectionsOnly; }
};

// Bytes of the file that the reader may look at: its first bytes and, when
// the headers lie past them, the span that FarHeaders names.
struct PeBytes {
    const std::uint8_t* head = nullptr;
    std::size_t headSize = 0;
    const std::uint8_t* headers = nullptr; // the bytes at headersOffset
    std::uint64_t headersOffset = 0;
    std::size_t headersSize = 0;
};

class PeSectionTable {
public:
    // The headers of a file whose first bytes do not hold them: the span to
    // read and hand back in PeBytes::headers (at most about 2.6 MiB, the largest
    // table the header's 16-bit counts allow), or nothing when no more is needed.
    struct Span {
        std::uint64_t offset;
        std::size_t size;
    };
    static std::optional<Span> FarHeaders(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize);

    // A header that needs bytes neither in head nor in headers is unreadable.
    static PeSections Read(const PeBytes& bytes, std::uint64_t fileSize);
    static PeSections Read(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize)
    {
        return Read(PeBytes{head, headSize}, fileSize);
    }
};

} // namespace Substitute
