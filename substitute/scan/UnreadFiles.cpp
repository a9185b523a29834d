#include "substitute/scan/UnreadFiles.h"

#include <windows.h>

#include "substitute/system/EngineFiles.h"

namespace Substitute {

namespace {

constexpr std::uint64_t kMaxListBytes = 64ull << 20;

// The argument is the host's text: only letters, digits and "-_." reach the
// file name, so that no argument names a file elsewhere.
std::wstring FileNameOf(const std::wstring& argument)
{
    std::wstring name;
    for (wchar_t c : argument)
        name += (iswalnum(c) && c < 0x80) || c == L'-' || c == L'_' || c == L'.' ? c : L'_';
    return name.empty() || name[0] == L'.' ? L"_" + name : name;
}

} // namespace

std::wstring UnreadFiles::ListPath(const std::wstring& engineFolder, const std::wstring& argument)
{
    return EngineFiles::Join(EngineFiles::Join(engineFolder, L"Unread"), FileNameOf(argument) + L".txt");
}

std::wstring UnreadFiles::Reason(unsigned long error)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return L"cannot read: in use";
    case ERROR_ACCESS_DENIED:
        return L"cannot read: access denied";
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        // A name the Windows side cannot spell (a Linux name with '?', '*' or
        // a TAB, shown to the walk as it is).
        return L"cannot read: name not representable";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        // Found by the walk, then not there by that name: gone since, or a
        // name with a '\' that reads as a folder.
        return L"cannot read: not found by its name";
    case ERROR_NOT_ENOUGH_MEMORY:
        return L"cannot read: out of memory";
    default:
        return L"cannot read: error " + std::to_wstring(error);
    }
}

namespace {

bool Append(const std::wstring& engineFolder, const std::wstring& list, const std::wstring& reason,
            const std::wstring& path)
{
    CreateDirectoryW(EngineFiles::Join(engineFolder, L"Unread").c_str(), nullptr);
    return EngineFiles::AppendToFile(list, EngineFiles::EncodeUtf8(reason + L"\t" + path) + "\r\n");
}

} // namespace

bool UnreadFiles::Record(const std::wstring& engineFolder, const std::wstring& argument, const std::wstring& path,
                         unsigned long error)
{
    return Append(engineFolder, ListPath(engineFolder, argument), Reason(error), path);
}

bool UnreadFiles::RecordPartly(const std::wstring& engineFolder, const std::wstring& argument,
                               const std::wstring& path, const std::wstring& what)
{
    return Append(engineFolder, ListPath(engineFolder, argument), std::wstring(kPartly) + L": " + what, path);
}

std::vector<UnreadFiles::Entry> UnreadFiles::Take(const std::wstring& engineFolder, const std::wstring& argument)
{
    const std::wstring list = ListPath(engineFolder, argument);
    std::vector<Entry> entries;
    if (const auto bytes = EngineFiles::ReadSmallFile(list, kMaxListBytes)) {
        const std::wstring text = EngineFiles::DecodeText(*bytes);
        for (size_t begin = 0; begin < text.size();) {
            size_t end = text.find(L"\r\n", begin);
            if (end == std::wstring::npos)
                end = text.size();
            const size_t tab = text.find(L'\t', begin);
            if (tab < end)
                entries.push_back({text.substr(begin, tab - begin), text.substr(tab + 1, end - tab - 1)});
            begin = end + 2;
        }
    }
    DeleteFileW(list.c_str());
    return entries;
}

} // namespace Substitute
