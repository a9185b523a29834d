#include "substitute/quarantine/QuarantineStore.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "substitute/system/EngineFiles.h"
#include "substitute/hash/FileHasher.h"
#include "substitute/system/SubstituteHandles.h"
#include "substitute/system/Wow64RedirectionOff.h"

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

// Threats are mostly small files: a whole chunk for each would cost more
// than the copy itself.
std::size_t BufferBytesFor(std::uint64_t size)
{
    return static_cast<std::size_t>(size < kChunkBytes ? (size != 0 ? size : 1) : kChunkBytes);
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

// Unique by construction, not by the clock: no two live processes share an
// id, a reused id belongs to a process created later, and within a process
// the counter never repeats.
std::wstring UniqueStem()
{
    static std::atomic<std::uint32_t> counter{0};
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    wchar_t stem[64];
    std::swprintf(stem, 64, L"%08lX%08lX-%08lX-%08lX", created.dwHighDateTime, created.dwLowDateTime,
                  GetCurrentProcessId(), static_cast<unsigned long>(++counter));
    return stem;
}

std::uint64_t FileTimeValue(const FILETIME& time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t Now()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return FileTimeValue(now);
}

} // namespace

bool QuarantineStore::SetOriginalTimes(HANDLE file, const QuarantineRecord& record)
{
    if (record.created == 0 && record.written == 0)
        return true;
    const FILETIME created{static_cast<DWORD>(record.created), static_cast<DWORD>(record.created >> 32)};
    const FILETIME written{static_cast<DWORD>(record.written), static_cast<DWORD>(record.written >> 32)};
    return SetFileTime(file, record.created != 0 ? &created : nullptr, nullptr,
                       record.written != 0 ? &written : nullptr) != FALSE;
}

QuarantineStore::QuarantineStore(std::wstring folder) : folder_(std::move(folder)) {}

bool QuarantineStore::EnsureFolder() const
{
    if (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    return !EngineFiles::CrossesReparsePoint(folder_);
}

bool QuarantineStore::Quarantine(const std::wstring& path, const std::wstring& threatName,
                                 const std::uint8_t (&md5)[16])
{
    if (path.empty() || !EnsureFolder())
        return false;
    // No write or delete sharing: nobody changes the file while it is copied.
    UniqueFile source;
    {
        Wow64RedirectionOff redirectionOff;
        source = UniqueFile(CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!source || !EngineFiles::IsOpenedAs(source.get(), path))
            return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(source.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;

    QuarantineRecord record;
    record.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    record.time = Now();
    record.created = FileTimeValue(info.ftCreationTime);
    record.written = FileTimeValue(info.ftLastWriteTime);
    record.threatName = threatName;
    record.originalPath = path;

    const std::wstring unique = UniqueStem();
    const std::wstring temporary = EngineFiles::Join(folder_, unique + L".tmp");
    UniqueFile item = UniqueFile(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!item)
        return false;

    // The header carries the MD5, known only at the end: write it twice.
    FileHasher hasher;
    std::vector<std::uint8_t> buffer(BufferBytesFor(record.size));
    std::string header = record.EncodeHeader();
    bool ok = hasher.Begin({true, false, false}) && WriteAll(item.get(), header.data(), header.size());
    std::uint64_t copied = 0;
    while (ok) {
        DWORD got = 0;
        ok = ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != FALSE;
        if (!ok || got == 0)
            break;
        ok = hasher.Update(buffer.data(), got);
        QuarantineRecord::Flip(buffer.data(), got, copied);
        ok = ok && WriteAll(item.get(), buffer.data(), got);
        copied += got;
    }
    // Restore finds the item by the scan's MD5: a file that changed since
    // the scan could never be restored, so it is not taken.
    ok = ok && copied == record.size && hasher.Finish() && std::memcmp(hasher.Digest(HashKind::Md5), md5, 16) == 0;
    if (ok) {
        std::memcpy(record.md5.data(), hasher.Digest(HashKind::Md5), record.md5.size());
        header = record.EncodeHeader();
        ok = SetFilePointer(item.get(), 0, nullptr, FILE_BEGIN) == 0 &&
             WriteAll(item.get(), header.data(), header.size()) && FlushFileBuffers(item.get());
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
    UniqueFind find = UniqueFind(FindFirstFileW(pattern.c_str(), &found));
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
    if (!itemPath)
        return false;
    UniqueFile item = UniqueFile(CreateFileW(itemPath->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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
    UniqueFile target;
    {
        Wow64RedirectionOff redirectionOff;
        target = UniqueFile(
            CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!target)
            return false;
        if (!EngineFiles::IsOpenedAs(target.get(), path)) {
            DeleteOnClose(target.get()); // made by this call, wherever a link put it
            return false;
        }
    }
    FileHasher hasher;
    std::vector<std::uint8_t> buffer(BufferBytesFor(decoded->first.size));
    bool ok = hasher.Begin({true, false, false});
    std::uint64_t restored = 0;
    while (ok) {
        ok = ReadFile(item.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != FALSE;
        if (!ok || got == 0)
            break;
        QuarantineRecord::Flip(buffer.data(), got, restored);
        ok = hasher.Update(buffer.data(), got) && WriteAll(target.get(), buffer.data(), got);
        restored += got;
    }
    ok = ok && restored == decoded->first.size && hasher.Finish() &&
         std::memcmp(hasher.Digest(HashKind::Md5), md5, 16) == 0 && FlushFileBuffers(target.get()) &&
         SetOriginalTimes(target.get(), decoded->first);
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
