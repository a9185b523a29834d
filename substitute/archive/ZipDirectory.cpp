#include "substitute/archive/ZipDirectory.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace Substitute {

namespace {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kCentralHeader = 0x02014b50;
constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kZip64End = 0x06064b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::uint32_t kDescriptor = 0x08074b50;
constexpr std::size_t kLocalBytes = 30;
constexpr std::size_t kCentralBytes = 46;
constexpr std::size_t kEndBytes = 22;
constexpr std::uint16_t kEncryptedFlag = 0x0001;
constexpr std::uint16_t kDescriptorFlag = 0x0008;
constexpr std::uint32_t kWide = 0xFFFFFFFF; // "see the ZIP64 field"

// Reads little-endian fields inside one bounded span; a read past its end is 0.
class Bytes {
public:
    explicit Bytes(std::string_view all) : all_(all) {}
    bool Has(std::uint64_t at, std::uint64_t count) const { return at <= all_.size() && count <= all_.size() - at; }
    std::uint64_t Get(std::uint64_t at, unsigned width) const
    {
        if (!Has(at, width))
            return 0;
        std::uint64_t value = 0;
        for (unsigned i = width; i-- > 0;)
            value = value << 8 | static_cast<std::uint8_t>(all_[static_cast<std::size_t>(at) + i]);
        return value;
    }
    std::uint32_t U32(std::uint64_t at) const { return static_cast<std::uint32_t>(Get(at, 4)); }
    std::uint16_t U16(std::uint64_t at) const { return static_cast<std::uint16_t>(Get(at, 2)); }
    std::string_view Span(std::uint64_t at, std::uint64_t count) const
    {
        return Has(at, count) ? all_.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(count))
                              : std::string_view();
    }
    std::uint64_t Size() const { return all_.size(); }

private:
    std::string_view all_;
};

// The ZIP64 extra field (id 1) holds, in this order, only the values whose
// 32-bit field reads 0xFFFFFFFF.
void ReadZip64(const Bytes& bytes, std::uint64_t extra, std::uint64_t extraSize, std::uint64_t* values[3])
{
    for (std::uint64_t at = extra; at + 4 <= extra + extraSize && bytes.Has(at, 4);) {
        const std::uint16_t id = bytes.U16(at);
        const std::uint16_t size = bytes.U16(at + 2);
        if (id == 1) {
            std::uint64_t field = at + 4;
            for (int i = 0; i < 3; ++i)
                if (values[i] != nullptr && *values[i] == kWide && field + 8 <= at + 4 + size) {
                    *values[i] = bytes.Get(field, 8);
                    field += 8;
                }
            return;
        }
        at += 4 + size;
    }
}

// Where the data of the entry whose local header is at offset begins, or 0.
std::uint64_t DataOffset(const Bytes& bytes, std::uint64_t local)
{
    if (bytes.U32(local) != kLocalHeader || !bytes.Has(local, kLocalBytes))
        return 0;
    const std::uint64_t data = local + kLocalBytes + bytes.U16(local + 26) + bytes.U16(local + 28);
    return data <= bytes.Size() ? data : 0;
}

void Bound(const Bytes& bytes, ZipEntry& entry)
{
    entry.compressedSize = std::min(entry.compressedSize, bytes.Size() - entry.dataOffset);
}

// The end-of-directory record, searched for from the end as clamscan does:
// the last one whose directory offset lies inside the archive.
bool FindDirectory(const Bytes& bytes, std::uint64_t& offset)
{
    if (bytes.Size() < kEndBytes)
        return false;
    for (std::uint64_t at = bytes.Size() - kEndBytes + 1; at-- > 0;) {
        if (bytes.U32(at) != kEndOfDirectory)
            continue;
        std::uint64_t directory = bytes.U32(at + 16);
        if (directory == kWide && at >= 20 && bytes.U32(at - 20) == kZip64Locator) {
            const std::uint64_t end64 = bytes.Get(at - 20 + 8, 8);
            if (bytes.U32(end64) == kZip64End && bytes.Has(end64, 56))
                directory = bytes.Get(end64 + 48, 8);
        }
        if (bytes.Has(directory, kCentralBytes)) {
            offset = directory;
            return true;
        }
    }
    return false;
}

void ReadDirectory(const Bytes& bytes, std::uint64_t at, ZipListing& listing)
{
    // Records that name one local header again are one entry, as clamscan
    // reads them: a small bomb of many records over one stream costs one inflation.
    std::set<std::uint64_t> locals;
    while (bytes.U32(at) == kCentralHeader && bytes.Has(at, kCentralBytes)) {
        ++listing.records;
        ZipEntry entry;
        const std::uint16_t flags = bytes.U16(at + 8);
        entry.method = bytes.U16(at + 10);
        entry.encrypted = (flags & kEncryptedFlag) != 0;
        entry.compressedSize = bytes.U32(at + 20);
        entry.declaredSize = bytes.U32(at + 24);
        const std::uint16_t nameSize = bytes.U16(at + 28);
        const std::uint16_t extraSize = bytes.U16(at + 30);
        const std::uint16_t commentSize = bytes.U16(at + 32);
        std::uint64_t local = bytes.U32(at + 42);
        entry.name = std::string(bytes.Span(at + kCentralBytes, nameSize));
        std::uint64_t* wide[3] = {&entry.declaredSize, &entry.compressedSize, &local};
        ReadZip64(bytes, at + kCentralBytes + nameSize, extraSize, wide);
        entry.dataOffset = DataOffset(bytes, local);
        if (entry.dataOffset == 0) {
            ++listing.unreadable;
        } else if (locals.insert(local).second) {
            Bound(bytes, entry);
            listing.entries.push_back(std::move(entry));
        }
        at += kCentralBytes + nameSize + extraSize + commentSize;
    }
}

// How many bytes of data end at a data descriptor that says so, else at the
// next header, else at the end. The search stops at the first of these, so
// the walk stays linear however many entries there are (a header word inside
// the data only cuts that entry short).
std::uint64_t DataUntilDescriptor(const Bytes& bytes, std::uint64_t data)
{
    for (std::uint64_t at = data; bytes.Has(at, 4); ++at) {
        const std::uint32_t word = bytes.U32(at);
        if ((word == kDescriptor && bytes.U32(at + 8) == at - data) || word == kLocalHeader || word == kCentralHeader)
            return at - data;
    }
    return bytes.Size() - data;
}

void ReadLocalHeaders(const Bytes& bytes, ZipListing& listing)
{
    std::uint64_t at = 0;
    while (const std::uint64_t data = DataOffset(bytes, at)) {
        ZipEntry entry;
        const std::uint16_t flags = bytes.U16(at + 6);
        entry.method = bytes.U16(at + 8);
        entry.encrypted = (flags & kEncryptedFlag) != 0;
        entry.compressedSize = bytes.U32(at + 18);
        entry.declaredSize = bytes.U32(at + 22);
        const std::uint16_t nameSize = bytes.U16(at + 26);
        entry.name = std::string(bytes.Span(at + kLocalBytes, nameSize));
        std::uint64_t* wide[3] = {&entry.declaredSize, &entry.compressedSize, nullptr};
        ReadZip64(bytes, at + kLocalBytes + nameSize, bytes.U16(at + 28), wide);
        entry.dataOffset = data;
        // Sizes that follow the data, in a descriptor.
        if ((flags & kDescriptorFlag) != 0 && entry.compressedSize == 0)
            entry.compressedSize = DataUntilDescriptor(bytes, data);
        Bound(bytes, entry);
        std::uint64_t next = data + entry.compressedSize;
        if ((flags & kDescriptorFlag) != 0) {
            // The descriptor, with or without its signature: up to the next header.
            while (bytes.Has(next, 4) && bytes.U32(next) != kLocalHeader && bytes.U32(next) != kCentralHeader &&
                   next < data + entry.compressedSize + 24)
                ++next;
        }
        listing.entries.push_back(std::move(entry));
        if (next <= at)
            break;
        at = next;
    }
}

} // namespace

ZipListing ZipDirectory::Read(std::string_view archive)
{
    const Bytes bytes(archive);
    ZipListing listing;
    std::uint64_t directory = 0;
    listing.directoryFound = FindDirectory(bytes, directory);
    if (!listing.directoryFound)
        return listing;
    ReadDirectory(bytes, directory, listing);
    const std::size_t found = listing.entries.size();
    if (found > 0 && found <= listing.records / 4) {
        listing.entries.clear();
        ReadLocalHeaders(bytes, listing);
    }
    return listing;
}

} // namespace Substitute
