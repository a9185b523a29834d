#pragma once
// A wide string object in the layout of MSVC's x86 std::wstring (release
// build): a 16-byte union of an inline buffer and a heap pointer, then size
// and capacity. Threat operation 1 takes the path in this form; libstdc++'s
// std::wstring has another layout and must never cross to the engine.
//
// The side that builds one owns its heap block; the other side only reads it.

#include <cstddef>
#include <cstdint>

namespace RC {

class MsvcWString {
public:
    static constexpr std::uint32_t kInlineCapacity = 7; // 8 units, one for the terminator

    MsvcWString() noexcept;
    MsvcWString(const wchar_t* text, std::size_t length);
    explicit MsvcWString(const wchar_t* text);
    ~MsvcWString();
    MsvcWString(const MsvcWString&) = delete;
    MsvcWString& operator=(const MsvcWString&) = delete;

    void Assign(const wchar_t* text, std::size_t length);
    // Readable for any object in this layout, including one built by MSVC.
    const wchar_t* Data() const noexcept { return capacity_ > kInlineCapacity ? storage_.pointer : storage_.buffer; }
    std::size_t Size() const noexcept { return size_; }

private:
    void Release() noexcept;

    union Storage {
        wchar_t buffer[kInlineCapacity + 1];
        wchar_t* pointer;
    } storage_;
    std::uint32_t size_;
    std::uint32_t capacity_;

    friend struct MsvcWStringLayout;
};

struct MsvcWStringLayout {
    static constexpr std::size_t kSizeOffset = offsetof(MsvcWString, size_);
    static constexpr std::size_t kCapacityOffset = offsetof(MsvcWString, capacity_);
};
static_assert(sizeof(MsvcWString) == 24, "MSVC x86 std::wstring is 24 bytes");
static_assert(MsvcWStringLayout::kSizeOffset == 16, "size follows the 16-byte buffer");
static_assert(MsvcWStringLayout::kCapacityOffset == 20, "capacity follows the size");

} // namespace RC
