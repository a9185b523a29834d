#include "host/KivoQuarantine.h"

#include <windows.h>

#include <algorithm>

#include "foundation/RCHandles.h"
#include "substitute/quarantine/QuarantineRecord.h"
#include "substitute/quarantine/QuarantineStore.h"

namespace KivoHost {

namespace {

constexpr DWORD kHeaderBytes = 160 * 1024; // the largest header the engine writes
constexpr DWORD kChunkBytes = 1024 * 1024;

std::wstring HexOf(const std::array<std::uint8_t, 16>& bytes)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (std::uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

RC::unique_hfile OpenItem(const std::wstring& path)
{
    return RC::unique_hfile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// The item's record and where its payload starts.
std::optional<std::pair<Substitute::QuarantineRecord, size_t>> ReadHeader(HANDLE file)
{
    std::string head(kHeaderBytes, '\0');
    DWORD got = 0;
    if (!ReadFile(file, &head[0], kHeaderBytes, &got, nullptr))
        return std::nullopt;
    head.resize(got);
    return Substitute::QuarantineRecord::DecodeHeader(head);
}

} // namespace

std::vector<KivoQuarantine::Item> KivoQuarantine::List() const
{
    std::vector<Item> items;
    WIN32_FIND_DATAW found{};
    RC::unique_hfind find(FindFirstFileW((folder_ + L"\\*.qtn").c_str(), &found));
    if (!find)
        return items;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        Item item;
        item.itemPath = folder_ + L"\\" + found.cFileName;
        RC::unique_hfile file = OpenItem(item.itemPath);
        const auto header = file ? ReadHeader(file.get()) : std::nullopt;
        if (!header)
            continue;
        const Substitute::QuarantineRecord& record = header->first;
        item.md5 = HexOf(record.md5);
        item.threatName = record.threatName;
        item.originalPath = record.originalPath;
        item.size = record.size;
        item.time = record.time;
        items.push_back(std::move(item));
    } while (FindNextFileW(find.get(), &found));
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.time < b.time; });
    return items;
}

bool KivoQuarantine::WriteCopy(const Item& item, const std::wstring& path)
{
    RC::unique_hfile source = OpenItem(item.itemPath);
    const auto header = source ? ReadHeader(source.get()) : std::nullopt;
    if (!header)
        return false;
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(header->second);
    if (!SetFilePointerEx(source.get(), start, nullptr, FILE_BEGIN))
        return false;
    RC::unique_hfile target(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target)
        return false;
    std::vector<std::uint8_t> buffer(kChunkBytes);
    uint64_t copied = 0;
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        ok = ReadFile(source.get(), buffer.data(), kChunkBytes, &got, nullptr) != FALSE;
        if (!ok || got == 0)
            break;
        Substitute::QuarantineRecord::Flip(buffer.data(), got, copied);
        DWORD written = 0;
        ok = WriteFile(target.get(), buffer.data(), got, &written, nullptr) && written == got;
        if (!ok)
            break;
        copied += got;
    }
    ok = ok && copied == header->first.size &&
         Substitute::QuarantineStore::SetOriginalTimes(target.get(), header->first);
    target.reset();
    if (!ok) {
        DeleteFileW(path.c_str());
        return false;
    }
    return true;
}

bool KivoQuarantine::Remove(const Item& item)
{
    return DeleteFileW(item.itemPath.c_str()) != FALSE;
}

} // namespace KivoHost
