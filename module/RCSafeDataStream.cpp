#include "module/RCSafeDataStream.h"

namespace RC {

RCSafeDataStream::RCSafeDataStream(const uint8_t* data, uint32_t size) : writing_(false), data_(data), size_(size)
{
    if (data == nullptr || size == 0) {
        error_ = kNoData;
        size_ = 0;
    }
}

bool RCSafeDataStream::CanWrite()
{
    if (error_ != kOk)
        return false;
    if (!writing_) {
        error_ = kNotWriting;
        return false;
    }
    return true;
}

bool RCSafeDataStream::CanRead(uint32_t needed)
{
    if (error_ != kOk)
        return false;
    if (writing_) {
        error_ = kNotReading;
        return false;
    }
    if (Left() < needed) {
        error_ = kTruncated;
        return false;
    }
    return true;
}

void RCSafeDataStream::WriteU8(uint8_t value)
{
    if (CanWrite())
        buffer_.push_back(value);
}

void RCSafeDataStream::WriteU32(uint32_t value)
{
    if (!CanWrite())
        return;
    for (int shift = 0; shift < 32; shift += 8)
        buffer_.push_back(static_cast<uint8_t>(value >> shift));
}

void RCSafeDataStream::WriteWString(const std::wstring& value)
{
    WriteU32(static_cast<uint32_t>(value.size()));
    if (!CanWrite())
        return;
    buffer_.reserve(buffer_.size() + value.size() * 2);
    for (wchar_t unit : value) {
        buffer_.push_back(static_cast<uint8_t>(unit & 0xFF));
        buffer_.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
    }
}

uint8_t RCSafeDataStream::ReadU8()
{
    if (!CanRead(1))
        return 0;
    return data_[position_++];
}

uint32_t RCSafeDataStream::ReadU32()
{
    if (!CanRead(4))
        return 0;
    const uint8_t* p = data_ + position_;
    position_ += 4;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

std::wstring RCSafeDataStream::ReadWString()
{
    const uint32_t count = ReadU32();
    if (!ok() || count == 0)
        return std::wstring();
    if (count > Left() / 2) {
        error_ = kTruncated;
        return std::wstring();
    }
    std::wstring value(count, L'\0');
    const uint8_t* p = data_ + position_;
    for (uint32_t i = 0; i < count; ++i)
        value[i] = static_cast<wchar_t>(p[2 * i] | p[2 * i + 1] << 8);
    position_ += count * 2;
    return value;
}

uint32_t RCSafeDataStream::ReadCount(uint32_t minElementSize)
{
    const uint32_t count = ReadU32();
    if (!ok())
        return 0;
    if (minElementSize != 0 && count > Left() / minElementSize) {
        error_ = kTruncated;
        return 0;
    }
    return count;
}

void RCSafeDataStream::Transfer(uint8_t& value)
{
    if (writing_)
        WriteU8(value);
    else
        value = ReadU8();
}

void RCSafeDataStream::Transfer(bool& value)
{
    uint8_t byte = value ? 1 : 0;
    Transfer(byte);
    value = byte != 0;
}

void RCSafeDataStream::Transfer(uint32_t& value)
{
    if (writing_)
        WriteU32(value);
    else
        value = ReadU32();
}

void RCSafeDataStream::Transfer(std::wstring& value)
{
    if (writing_)
        WriteWString(value);
    else
        value = ReadWString();
}

} // namespace RC
