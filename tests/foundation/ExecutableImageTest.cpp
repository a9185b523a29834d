#include "foundation/RCExecutableImage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

// A DOS header whose e_lfanew points at `offset`, followed by `tail` up to
// `size` bytes in all.
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

class ExecutableImage : public testing::Test
{
protected:
    bool Check(const std::string& bytes)
    {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        const std::wstring path = std::wstring(temp) + L"KivoImage-" + std::to_wstring(::GetCurrentProcessId());
        const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
        const bool result = RCIsExecutableImage(path);
        ::DeleteFileW(path.c_str());
        return result;
    }
};

TEST_F(ExecutableImage, AcceptsPeAndNeHeadersOnly)
{
    const std::string pe("PE\0\0", 4);
    EXPECT_TRUE(Check(Image(64, pe, 64 + 248)));
    EXPECT_TRUE(Check(Image(128, "NE", 128 + 248)));

    EXPECT_FALSE(Check("MZ"));                                  // shorter than a DOS header
    EXPECT_FALSE(Check(std::string(63, 'M')));
    std::string noMz = Image(64, pe, 64 + 248);
    noMz[0] = 'Z';
    EXPECT_FALSE(Check(noMz));
    EXPECT_FALSE(Check(Image(4096, pe, 64 + 248)));            // header offset past the end
    EXPECT_FALSE(Check(Image(64, pe, 64 + 247)));              // header cut short
    EXPECT_FALSE(Check(Image(64, "LE", 64 + 248)));
    EXPECT_FALSE(Check(Image(64, "PE\1\0", 64 + 248)));

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_TRUE(RCIsExecutableImage(self));
    EXPECT_FALSE(RCIsExecutableImage(L"C:\\no\\such\\file.exe"));
}

} // namespace
