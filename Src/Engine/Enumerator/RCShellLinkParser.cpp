#include "Src/Engine/Enumerator/RCShellLinkParser.h"

#include <utility>

namespace RC {

namespace {

constexpr uint32_t kHasIdList = 0x1;
constexpr size_t kFlagsOffset = 20;
constexpr uint32_t kLinkInfoHeaderBeforeBasePath = 20;

// A forward-only reader with the semantics of a file cursor: a skip may go
// past the end (only the next read fails), a read never does.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size, uint64_t position) : data_(data), size_(size), position_(position) {}

    bool Read(void* out, size_t count)
    {
        if (position_ > size_ || count > size_ - position_)
            return false;
        const uint8_t* from = data_ + position_;
        uint8_t* to = static_cast<uint8_t*>(out);
        for (size_t i = 0; i < count; ++i)
            to[i] = from[i];
        position_ += count;
        return true;
    }

    bool ReadU16(uint16_t& value)
    {
        uint8_t b[2];
        if (!Read(b, 2))
            return false;
        value = static_cast<uint16_t>(b[0] | (b[1] << 8));
        return true;
    }

    bool ReadU32(uint32_t& value)
    {
        uint8_t b[4];
        if (!Read(b, 4))
            return false;
        value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
                (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }

    void Skip(uint64_t count) { position_ += count; }
    uint64_t Position() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    uint64_t position_;
};

size_t ReadU16At(const uint8_t* data, size_t at)
{
    return static_cast<size_t>(data[at] | (data[at + 1] << 8));
}

bool HasZeroByte(const uint8_t* data, size_t from, size_t end)
{
    for (size_t i = from; i < end; ++i) {
        if (data[i] == 0)
            return true;
    }
    return false;
}

} // namespace

RCShellLinkParser::Result RCShellLinkParser::Parse(const uint8_t* data, size_t size, Link& out)
{
    Link link;
    Cursor cursor(data, size, 0);
    uint32_t headerSize = 0;
    if (size < kHeaderSize || !cursor.ReadU32(headerSize) || headerSize != kHeaderSize)
        return Result::NotShellLink;

    Cursor flagsCursor(data, size, kFlagsOffset);
    uint32_t flags = 0;
    flagsCursor.ReadU32(flags);
    cursor.Skip(kHeaderSize - 4);

    if (flags & kHasIdList) {
        uint16_t idListSize = 0;
        if (!cursor.ReadU16(idListSize))
            return Result::Failed;
        if (idListSize != 0) {
            link.idList.resize(idListSize);
            if (!cursor.Read(link.idList.data(), idListSize))
                return Result::Failed;
        }
    }
    link.linkInfoPosition = static_cast<size_t>(cursor.Position());
    out = std::move(link);
    return Result::Parsed;
}

bool RCShellLinkParser::ReadLinkInfoPath(const uint8_t* data, size_t size, size_t position, std::string& basePath)
{
    Cursor cursor(data, size, position);
    uint32_t linkInfoSize = 0;
    if (!cursor.ReadU32(linkInfoSize))
        return false;
    // Header size, flags and volume ID offset are not needed.
    cursor.Skip(12);
    uint32_t basePathOffset = 0;
    if (!cursor.ReadU32(basePathOffset) || basePathOffset < kLinkInfoHeaderBeforeBasePath)
        return false;
    cursor.Skip(basePathOffset - kLinkInfoHeaderBeforeBasePath);

    const uint32_t length = linkInfoSize - basePathOffset;
    if (length == 0 || length > kMaxBasePathBytes)
        return false;
    // A file that ends inside the path still holds a link, one that names
    // no file.
    char bytes[kMaxBasePathBytes] = {};
    if (!cursor.Read(bytes, length)) {
        basePath.clear();
        return true;
    }
    size_t end = 0;
    while (end < length && bytes[end] != '\0')
        ++end;
    basePath.assign(bytes, end);
    return true;
}

bool RCShellLinkParser::IsWellFormedIdList(const uint8_t* data, size_t size)
{
    size_t position = 0;
    while (position + 2 <= size) {
        const size_t itemSize = ReadU16At(data, position);
        if (itemSize == 0)
            return true;
        if (itemSize > size - position || !IsPlausibleItem(data + position, itemSize))
            return false;
        position += itemSize;
    }
    return false;
}

// The shell reads inside items by their type byte and trusts what it finds:
// text up to a terminator, a GUID, and for file-system items the offset of
// their extension block stored in the last two bytes. Only items whose own
// fields keep those reads inside the item are handed over; anything else
// falls back to the LinkInfo path.
bool RCShellLinkParser::IsPlausibleItem(const uint8_t* item, size_t itemSize)
{
    constexpr size_t kTypeOffset = 2;
    constexpr size_t kGuidItemSize = 20; // size, type, one byte, GUID
    constexpr size_t kDriveNameOffset = 3;
    constexpr size_t kFileNameOffset = 14; // size, type, byte, file size, date, time, attributes
    if (itemSize <= kTypeOffset)
        return false;
    const uint8_t type = item[kTypeOffset];
    if (type == 0x1F || type == 0x2E)
        return itemSize >= kGuidItemSize;
    if ((type & 0xF0) == 0x20)
        return HasZeroByte(item, kDriveNameOffset, itemSize);
    if ((type & 0xF0) == 0x30) {
        if (itemSize < kFileNameOffset + 4 || !HasZeroByte(item, kFileNameOffset, itemSize))
            return false;
        const size_t extension = ReadU16At(item, itemSize - 2);
        return extension >= kFileNameOffset && extension + 4 <= itemSize - 2 &&
               extension + ReadU16At(item, extension) == itemSize;
    }
    return false;
}

} // namespace RC
