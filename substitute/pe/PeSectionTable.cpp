#include "substitute/pe/PeSectionTable.h"

#include <algorithm>
#include <cstring>

namespace Substitute {

namespace {

constexpr std::uint64_t kLfanewOffset = 0x3C;
constexpr std::uint64_t kNtHeaderBytes = 24; // "PE\0\0" and the COFF header
constexpr std::uint64_t kSectionHeaderBytes = 40;
// The optional header's fields before its data directories; a header shorter
// than that (or than the directories it counts) is unreadable.
constexpr std::uint32_t kFixedOptional32 = 96;
constexpr std::uint32_t kFixedOptional64 = 112;
constexpr std::uint16_t kMagic64 = 0x20B;
constexpr std::uint32_t kMaxDirectories = 16;
// clamscan reads these fields as signed: a value with the top bit set makes
// the header unreadable. In a section wholly past the file's end only the
// offsets suffer: the scan that hashes sections has dropped such a section
// before it looks, so the sections are still hashed.
constexpr std::uint32_t kSignBit = 0x80000000u;
// The alignment clamscan falls back to when a section's start contradicts
// the header's FileAlignment but fits this one.
constexpr std::uint32_t kFallbackAlignment = 0x200;

std::uint32_t U32(const std::uint8_t* at)
{
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint16_t U16(const std::uint8_t* at)
{
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

// Alignment is 32-bit arithmetic, wrapping as the reference's does: a raw
// size that wraps to 0 leaves the section without raw data.
std::uint32_t AlignDown(std::uint32_t value, std::uint32_t alignment)
{
    return alignment == 0 ? value : value / alignment * alignment;
}

std::uint32_t AlignUp(std::uint32_t value, std::uint32_t alignment)
{
    if (alignment == 0)
        return value;
    return static_cast<std::uint32_t>((value / alignment + (value % alignment != 0 ? 1u : 0u)) * alignment);
}

// The bytes [offset, offset + size) from whichever buffer holds them all.
const std::uint8_t* At(const PeBytes& bytes, std::uint64_t fileSize, std::uint64_t offset, std::uint64_t size)
{
    if (offset + size > fileSize)
        return nullptr;
    if (offset + size <= bytes.headSize)
        return bytes.head + offset;
    if (bytes.headers != nullptr && offset >= bytes.headersOffset &&
        offset + size <= bytes.headersOffset + bytes.headersSize)
        return bytes.headers + (offset - bytes.headersOffset);
    return nullptr;
}

struct Mapped {
    std::uint32_t rva;
    std::uint64_t offset;
    std::uint64_t size;
};

} // namespace

std::optional<PeSectionTable::Span> PeSectionTable::FarHeaders(const std::uint8_t* head, std::size_t headSize,
                                                               std::uint64_t fileSize)
{
    if (headSize < kLfanewOffset + 4 || head[0] != 'M' || head[1] != 'Z')
        return std::nullopt;
    const std::uint64_t lfanew = U32(head + kLfanewOffset);
    const std::uint64_t longest = kNtHeaderBytes + 0xFFFF + 0xFFFF * kSectionHeaderBytes;
    const std::uint64_t end = std::min(fileSize, lfanew + longest);
    if (lfanew == 0 || end <= headSize || lfanew >= end)
        return std::nullopt;
    // The NT header in the first bytes tells how much of the table is needed.
    if (lfanew + kNtHeaderBytes <= headSize) {
        const std::uint64_t needed =
            lfanew + kNtHeaderBytes + U16(head + lfanew + 20) + kSectionHeaderBytes * U16(head + lfanew + 6);
        if (needed <= headSize)
            return std::nullopt;
    }
    return Span{lfanew, static_cast<std::size_t>(end - lfanew)};
}

PeSections PeSectionTable::Read(const PeBytes& bytes, std::uint64_t fileSize)
{
    PeSections result;
    const std::uint8_t* mz = At(bytes, fileSize, 0, 2);
    if (mz == nullptr || mz[0] != 'M' || mz[1] != 'Z')
        return result;
    // From here on the file is an executable to clamscan: a header it
    // cannot read turns off every offset but absolute ones.
    result.shape = PeSections::Shape::Broken;
    const std::uint8_t* dos = At(bytes, fileSize, kLfanewOffset, 4);
    if (dos == nullptr)
        return result;
    const std::uint64_t lfanew = U32(dos);
    const std::uint8_t* nt = At(bytes, fileSize, lfanew, kNtHeaderBytes);
    if (lfanew == 0 || nt == nullptr || std::memcmp(nt, "PE\0\0", 4) != 0)
        return result;
    const std::size_t count = U16(nt + 6);
    const std::uint32_t optionalSize = U16(nt + 20);
    const std::uint64_t optionalAt = lfanew + kNtHeaderBytes;
    const std::uint8_t* optional = At(bytes, fileSize, optionalAt, kFixedOptional32);
    if (count == 0 || optionalSize < kFixedOptional32 || optional == nullptr)
        return result;
    // Any magic but PE32+'s is read as PE32.
    const std::uint32_t fixed = U16(optional) == kMagic64 ? kFixedOptional64 : kFixedOptional32;
    if (optionalSize < fixed || (optional = At(bytes, fileSize, optionalAt, fixed)) == nullptr)
        return result;
    const std::uint32_t entryRva = U32(optional + 16);
    const std::uint32_t sectionAlignment = U32(optional + 32);
    std::uint32_t fileAlignment = U32(optional + 36);
    const std::uint32_t headersSize = U32(optional + 60);
    const std::uint32_t directories = std::min(U32(optional + fixed - 4), kMaxDirectories);
    if (optionalSize < fixed + 8 * directories ||
        At(bytes, fileSize, optionalAt + fixed, 8 * std::uint64_t{directories}) == nullptr)
        return result;
    const std::uint8_t* table = At(bytes, fileSize, optionalAt + optionalSize, count * kSectionHeaderBytes);
    if (table == nullptr)
        return result;

    // PointerToRawData off the header's FileAlignment but on 0x200 makes
    // 0x200 the alignment of every section.
    for (std::size_t i = 0; i < count && fileAlignment != kFallbackAlignment; ++i) {
        const std::uint8_t* header = table + i * kSectionHeaderBytes;
        const std::uint32_t pointer = U32(header + 20);
        if (fileAlignment != 0 && U32(header + 16) != 0 && pointer % fileAlignment != 0 &&
            pointer % kFallbackAlignment == 0)
            fileAlignment = kFallbackAlignment;
    }

    std::vector<Mapped> mapped;
    mapped.reserve(count);
    result.sections.reserve(count);
    bool offsets = true;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* header = table + i * kSectionHeaderBytes;
        const std::uint32_t virtualSize = U32(header + 8);
        const std::uint32_t rva = U32(header + 12);
        std::uint32_t rawSize = U32(header + 16);
        const std::uint32_t pointer = U32(header + 20);
        PeSection section{AlignDown(pointer, fileAlignment), AlignUp(rawSize, fileAlignment)};
        bool outside = false;
        if (section.size != 0) {
            if (section.offset >= fileSize || pointer >= fileSize) {
                // Wholly past the end: kept, so Sx still counts it, but empty.
                outside = true;
                section.size = 0;
                rawSize = 0;
            } else {
                // Cut short by the end of the file, aligned size and stated size alike.
                section.size = std::min<std::uint64_t>(section.size, fileSize - section.offset);
                rawSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(rawSize, fileSize - pointer));
            }
        }
        if ((rva & kSignBit) != 0 || (virtualSize & kSignBit) != 0 ||
            (section.size != 0 && (pointer & kSignBit) != 0) || (rawSize & kSignBit) != 0) {
            if (!outside) {
                result.sections.clear();
                return result;
            }
            offsets = false;
        }
        result.sections.push_back(section);
        mapped.push_back({AlignDown(rva, sectionAlignment), section.offset, section.size});
    }

    // An entry point below the headers' end (SizeOfHeaders aligned up to
    // SectionAlignment) is its own file offset, as packers use it; otherwise
    // the last section holding it in its raw data maps it. One that maps
    // nowhere in the file makes the header unreadable.
    const std::uint32_t headersEnd = AlignUp(headersSize, sectionAlignment);
    if (entryRva < headersEnd) {
        if (entryRva < fileSize)
            result.entryPoint = entryRva;
    } else {
        for (auto it = mapped.rbegin(); it != mapped.rend() && !result.entryPoint; ++it)
            if (it->size != 0 && it->rva <= entryRva && entryRva - it->rva < it->size)
                result.entryPoint = it->offset + (entryRva - it->rva);
    }
    if (!result.entryPoint) {
        result.sections.clear();
        return result;
    }
    result.shape = offsets ? PeSections::Shape::Pe : PeSections::Shape::SectionsOnly;
    if (!offsets)
        result.entryPoint.reset();
    return result;
}

} // namespace Substitute
