#include "foundation/RCExecutableImage.h"

#include <gtest/gtest.h>

#include "Src/Engine/Enumerator/EnumTestSupport.h"

namespace {

// A DOS header whose e_lfanew points at offset, with signature there, size bytes in all.
std::string Image(uint32_t offset, const std::string& signature, size_t size)
{
    std::string bytes(size, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        bytes[60 + i] = static_cast<char>((offset >> (8 * i)) & 0xFF);
    if (offset + signature.size() <= size)
        bytes.replace(offset, signature.size(), signature);
    return bytes;
}

TEST(ExecutableImage, AcceptsPeAndNeHeadersOnly)
{
    RC::test::ScratchDir folder;
    const auto check = [&](const std::string& bytes) { return RCIsExecutableImage(folder.Write(L"f", bytes)); };
    const std::string pe("PE\0\0", 4);
    EXPECT_TRUE(check(Image(64, pe, 64 + 248)));
    EXPECT_TRUE(check(Image(128, "NE", 128 + 248)));

    EXPECT_FALSE(check(std::string(63, 'M'))); // shorter than a DOS header
    EXPECT_FALSE(check("ZM" + Image(64, pe, 64 + 248).substr(2)));
    EXPECT_FALSE(check(Image(4096, pe, 64 + 248))); // header offset past the end
    EXPECT_FALSE(check(Image(64, pe, 64 + 247)));   // header cut short
    EXPECT_FALSE(check(Image(64, "LE", 64 + 248)));
    EXPECT_FALSE(check(Image(64, "PE\1\0", 64 + 248)));
    EXPECT_FALSE(RCIsExecutableImage(L"C:\\no\\such\\file.exe"));
}

} // namespace
