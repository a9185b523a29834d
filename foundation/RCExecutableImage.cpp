#include "foundation/RCExecutableImage.h"

#include "foundation/RCHandles.h"
#include "foundation/RCPath.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr DWORD kDosHeaderBytes = 64;
constexpr DWORD kNewHeaderOffsetAt = 60;
constexpr DWORD kNtHeaderBytes = 248;

RC::unique_hfile OpenForRead(const std::wstring& path)
{
    RC::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    std::wstring longPath;
    if (!file && RCToLongPath(path, longPath))
        file.reset(::CreateFileW(longPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    return file;
}

bool ReadExactly(HANDLE file, unsigned char* buffer, DWORD size)
{
    DWORD read = 0;
    return ::ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

uint32_t LittleEndian32(const unsigned char* bytes)
{
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

} // namespace

bool RCIsExecutableImage(const std::wstring& path)
{
    RC::unique_hfile file = OpenForRead(path);
    if (!file)
        return false;

    unsigned char dos[kDosHeaderBytes];
    if (!ReadExactly(file.get(), dos, kDosHeaderBytes) || dos[0] != 'M' || dos[1] != 'Z')
        return false;

    LARGE_INTEGER offset;
    offset.QuadPart = LittleEndian32(dos + kNewHeaderOffsetAt);
    unsigned char header[kNtHeaderBytes];
    if (!::SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN) ||
        !ReadExactly(file.get(), header, kNtHeaderBytes))
        return false;

    const uint32_t signature = LittleEndian32(header);
    return signature == 0x4550 || (signature & 0xFFFF) == 0x454E;
}
