#pragma once
// The section table of a PE file, read from the file's first bytes. Every
// offset in it is untrusted: the table must lie inside the bytes given, and a
// section whose raw data reaches past the file's end is left out and counted.
// Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace Substitute {

struct PeSection {
    std::uint64_t offset = 0; // of its raw data in the file
    std::uint64_t size = 0;   // of its raw data
    std::uint32_t index = 0;  // its place in the table, from 0
};

struct PeSections {
    enum class Shape { NotPe, Pe, Broken }; // Broken: starts with "MZ", no readable PE header
    Shape shape = Shape::NotPe;
    std::vector<PeSection> sections;         // those with raw data inside the file, in table order
    std::size_t outside = 0;                 // sections left out: raw data past the file's end
    std::size_t count = 0;                   // sections in the table (those read)
    std::optional<std::uint64_t> entryPoint; // file offset, when it lies in a section's raw data
};

class PeSectionTable {
public:
    // More sections than any real image has; the rest of a longer table is not read.
    static constexpr std::size_t kMaxSections = 96;

    // head: the file's first headSize bytes; fileSize: the whole file's size.
    static PeSections Read(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize);
};

} // namespace Substitute
