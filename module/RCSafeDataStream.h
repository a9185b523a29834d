#pragma once
// The "SafeData" record encoding: u8, little-endian u32, wide strings as a u32
// count of UTF-16 code units followed by the units, lists as a u32 count
// followed by the elements. No tags, no padding, no terminators.
//
// A stream either writes into its own growing buffer or reads a borrowed
// range. It keeps one error code: after the first error every further field is
// skipped (reads yield 0 or empty) and the record as a whole has failed.
// Pure byte logic, free of Win32, so that it can be compiled natively too.
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace RC {

class RCSafeDataStream {
public:
    enum Error : uint32_t {
        kOk = 0,
        kNoData = 1,     // reader given a null pointer or a size of 0
        kNotWriting = 3, // write on a stream that reads
        kNotReading = 4, // read on a stream that writes
        kTruncated = 5,  // fewer bytes left than the field needs
    };

    static RCSafeDataStream ForWriting() { return RCSafeDataStream(); }
    static RCSafeDataStream ForReading(const uint8_t* data, uint32_t size) { return RCSafeDataStream(data, size); }

    void WriteU8(uint8_t value);
    void WriteU32(uint32_t value);
    void WriteWString(const std::wstring& value);

    uint8_t ReadU8();
    uint32_t ReadU32();
    std::wstring ReadWString();
    // The count of a list whose elements take at least minElementSize bytes
    // each. A count the remaining bytes cannot hold fails the record, so no
    // caller ever reserves or loops over more than the data can carry.
    uint32_t ReadCount(uint32_t minElementSize);

    // One call for both directions, so that a record lists its fields once:
    // a writing stream writes the value, a reading stream overwrites it.
    void Transfer(uint8_t& value);
    void Transfer(bool& value); // as a u8 holding 1 or 0
    void Transfer(uint32_t& value);
    void Transfer(std::wstring& value);
    // A code of the bus's vocabulary, as its u32; a read keeps any value,
    // also one outside the vocabulary, for the reader to refuse.
    template <class Code, class = std::enable_if_t<std::is_enum_v<Code>>>
    void Transfer(Code& value)
    {
        static_assert(sizeof(Code) == sizeof(uint32_t), "codes travel as u32");
        uint32_t wire = static_cast<uint32_t>(value);
        Transfer(wire);
        value = static_cast<Code>(wire);
    }
    template <class T, class Element>
    void TransferList(std::vector<T>& list, uint32_t minElementSize, Element transferElement);

    bool writing() const { return writing_; }
    uint32_t error() const { return error_; }
    bool ok() const { return error_ == kOk; }
    const std::vector<uint8_t>& bytes() const { return buffer_; }

private:
    RCSafeDataStream() = default;
    RCSafeDataStream(const uint8_t* data, uint32_t size);

    bool CanWrite();
    bool CanRead(uint32_t needed);
    uint32_t Left() const { return size_ - position_; }

    bool writing_ = true;
    uint32_t error_ = kOk;
    std::vector<uint8_t> buffer_;
    const uint8_t* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t position_ = 0;
};

template <class T, class Element>
void RCSafeDataStream::TransferList(std::vector<T>& list, uint32_t minElementSize, Element transferElement)
{
    if (writing_) {
        WriteU32(static_cast<uint32_t>(list.size()));
        for (T& element : list)
            transferElement(*this, element);
        return;
    }
    const uint32_t count = ReadCount(minElementSize);
    list.clear();
    list.reserve(count);
    for (uint32_t i = 0; i < count && ok(); ++i) {
        list.emplace_back();
        transferElement(*this, list.back());
    }
}

} // namespace RC
