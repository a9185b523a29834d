#include "substitute/QuarantineStore.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "substitute/EngineFiles.h"
#include "substitute/FileHasher.h"
#include "substitute/SubstituteHandles.h"

namespace Substitute {

namespace {

constexpr DWORD kChunkBytes = 1u << 20;
constexpr DWORD kMaxHeaderBytes = 160u << 10;

std::wstring HexOf(const std::uint8_t* bytes, std::size_t count)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 15]);
    }
    return text;
}

bool WriteAll(HANDLE file, const void* data, std::size_t size)
{
    DWORD written = 0;
    return WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// Marks an open file for deletion when its last handle closes: deletes
// exactly the object that was opened, whatever its path names by now.
bool DeleteOnClose(HANDLE file)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

std::wstring ParentOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::uint64_t Now()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

} // namespace

QuarantineStore::QuarantineStore(std::wstring folder) : folder_(std::move(folder)) {}

bool QuarantineStore::EnsureFolder() const
{
    if (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    return !EngineFiles::CrossesReparsePoint(folder_);
}

bool QuarantineStore::Quarantine(const std::wstring& path, const std::wstring& threatName)
{
    if (path.empty() || EngineFiles::CrossesReparsePoint(path) || !EnsureFolder())
        return false;
    // No write or delete sharing: nobody changes the file while it is copied.
    UniqueFile source = AdoptFile(CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!source || !GetFileInformationByHandle(source.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;

    QuarantineRecord record;
    record.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    record.time = Now();
    record.threatName = threatName;
    record.originalPath = path;

    wchar_t unique[64];
    std::swprintf(unique, 64, L"%016llX-%08lX", static_cast<unsigned long long>(record.time), GetCurrentThreadId());
    const std::wstring temporary = EngineFiles::Join(folder_, std::wstring(unique) + L".tmp");
    UniqueFile item = AdoptFile(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!item)
        return false;

    // The header carries the MD5, known only at the end: write it twice.
    FileHasher hasher;
    std::vector<std::uint8_t> buffer(kChunkBytes);
    std::string header = record.EncodeHeader();
    bool ok = hasher.Begin({true, false, false}) && WriteAll(item.get(), header.data(), header.size());
    std::uint64_t copied = 0;
    while (ok) {
        DWORD got = 0;
        ok = ReadFile(source.get(), buffer.data(), kChunkBytes, &got, nullptr) != FALSE;
        if (!ok || got == 0)
            break;
        ok = hasher.Update(buffer.data(), got);
        QuarantineRecord::Flip(buffer.data(), got, copied);
        ok = ok && WriteAll(item.get(), buffer.data(), got);
        copied += got;
    }
    ok = ok && copied == record.size && hasher.Finish();
    if (ok) {
        std::memcpy(record.md5.data(), hasher.Digest(HashKind::Md5), record.md5.size());
        header = record.EncodeHeader();
        ok = SetFilePointer(item.get(), 0, nullptr, FILE_BEGIN) == 0 && WriteAll(item.get(), header.data(), header.size()) &&
             FlushFileBuffers(item.get());
    }
    item.reset();
    const std::wstring final =
        EngineFiles::Join(folder_, HexOf(record.md5.data(), record.md5.size()) + L"-" + unique + L".qtn");
    if (!ok || !MoveFileExW(temporary.c_str(), final.c_str(), MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.c_str());
        return false;
    }
    if (!DeleteOnClose(source.get())) {
        DeleteFileW(final.c_str());
        return false;
    }
    return true;
}

std::optional<std::wstring> QuarantineStore::FindItem(const std::uint8_t (&md5)[16]) const
{
    const std::wstring pattern = EngineFiles::Join(folder_, HexOf(md5, 16) + L"-*.qtn");
    WIN32_FIND_DATAW found{};
    UniqueFind find = AdoptFind(FindFirstFileW(pattern.c_str(), &found));
    if (!find)
        return std::nullopt;
    do {
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            return EngineFiles::Join(folder_, found.cFileName);
    } while (FindNextFileW(find.get(), &found));
    return std::nullopt;
}

bool QuarantineStore::Restore(const std::uint8_t (&md5)[16], const std::wstring& path)
{
    const std::optional<std::wstring> itemPath = FindItem(md5);
    const std::wstring parent = ParentOf(path);
    if (!itemPath || parent.empty() || EngineFiles::CrossesReparsePoint(parent))
        return false;
    UniqueFile item = AdoptFile(CreateFileW(itemPath->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!item)
        return false;
    std::string head(kMaxHeaderBytes, '\0');
    DWORD got = 0;
    if (!ReadFile(item.get(), &head[0], kMaxHeaderBytes, &got, nullptr))
        return false;
    head.resize(got);
    const auto decoded = QuarantineRecord::DecodeHeader(head);
    if (!decoded || std::memcmp(decoded->first.md5.data(), md5, 16) != 0)
        return false;
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(decoded->second);
    if (!SetFilePointerEx(item.get(), start, nullptr, FILE_BEGIN))
        return false;

    // CREATE_NEW: never replaces whatever is at the path now, link or file.
    UniqueFile target = AdoptFile(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target)
        return false;
    FileHasher hasher;
    std::vector<std::uint8_t> buffer(kChunkBytes);
    bool ok = hasher.Begin({true, false, false});
    std::uint64_t restored = 0;
    while (ok) {
        ok = ReadFile(item.get(), buffer.data(), kChunkBytes, &got, nullptr) != FALSE;
        if (!ok || got == 0)
            break;
        QuarantineRecord::Flip(buffer.data(), got, restored);
        ok = hasher.Update(buffer.data(), got) && WriteAll(target.get(), buffer.data(), got);
        restored += got;
    }
    ok = ok && restored == decoded->first.size && hasher.Finish() &&
         std::memcmp(hasher.Digest(HashKind::Md5), md5, 16) == 0 && FlushFileBuffers(target.get());
    if (!ok) {
        DeleteOnClose(target.get());
        return false;
    }
    target.reset();
    item.reset();
    DeleteFileW(itemPath->c_str());
    return true;
}

} // namespace Substitute
