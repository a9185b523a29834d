#include "substitute/pe/PeSectionTable.h"

#include <cstring>

namespace Substitute {

namespace {

constexpr std::size_t kLfanewOffset = 0x3C;
constexpr std::size_t kFileHeaderBytes = 24; // "PE\0\0" and the COFF header
constexpr std::size_t kSectionHeaderBytes = 40;
constexpr std::size_t kEntryPointOffset = 16; // in the optional header

std::uint32_t U32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint16_t U16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

} // namespace

PeSections PeSectionTable::Read(const std::uint8_t* head, std::size_t headSize, std::uint64_t fileSize)
{
    PeSections result;
    if (headSize > fileSize)
        headSize = static_cast<std::size_t>(fileSize);
    if (headSize < 2 || head[0] != 'M' || head[1] != 'Z')
        return result;
    // From here on the file claims to be an image: a header that does not
    // fit is a broken one, not a plain file.
    result.shape = PeSections::Shape::Broken;
    if (headSize < kLfanewOffset + 4)
        return result;
    const std::uint64_t peOffset = U32(head + kLfanewOffset);
    if (peOffset + kFileHeaderBytes > headSize || std::memcmp(head + peOffset, "PE\0\0", 4) != 0)
        return result;
    const std::uint8_t* fileHeader = head + peOffset + 4;
    const std::size_t count = U16(fileHeader + 2);
    const std::uint64_t tableOffset = peOffset + kFileHeaderBytes + U16(fileHeader + 16);
    const std::size_t read = count < kMaxSections ? count : kMaxSections;
    if (tableOffset + read * kSectionHeaderBytes > headSize)
        return result;
    result.shape = PeSections::Shape::Pe;
    result.count = read;
    // The optional header's AddressOfEntryPoint, when the header is long enough to hold it.
    std::optional<std::uint32_t> entryRva;
    if (U16(fileHeader + 16) >= kEntryPointOffset + 4)
        entryRva = U32(head + peOffset + kFileHeaderBytes + kEntryPointOffset);
    for (std::size_t i = 0; i < read; ++i) {
        const std::uint8_t* section = head + tableOffset + i * kSectionHeaderBytes;
        PeSection raw;
        raw.size = U32(section + 16);
        raw.offset = U32(section + 20);
        raw.index = static_cast<std::uint32_t>(i);
        const std::uint32_t rva = U32(section + 12);
        if (entryRva && !result.entryPoint && *entryRva >= rva && *entryRva - rva < raw.size &&
            raw.offset + raw.size <= fileSize)
            result.entryPoint = raw.offset + (*entryRva - rva);
        if (raw.size == 0)
            continue;
        if (raw.offset + raw.size > fileSize) {
            ++result.outside;
            continue;
        }
        result.sections.push_back(raw);
    }
    return result;
}

} // namespace Substitute
