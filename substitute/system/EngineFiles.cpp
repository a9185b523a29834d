#include "substitute/system/EngineFiles.h"

#include <windows.h>

#include "substitute/system/SubstituteHandles.h"
#include "substitute/system/TextCompare.h"

namespace Substitute {

namespace {

// Runs a Win32 call that fills a text buffer and answers the length it needs
// when the buffer is too small; empty on failure.
template <typename Call>
std::wstring TextFrom(Call call)
{
    std::wstring text(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = call(&text[0], static_cast<DWORD>(text.size()));
        if (length == 0)
            return std::wstring();
        if (length < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(length);
    }
    return std::wstring();
}

std::wstring WithoutLongPathPrefix(const std::wstring& path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

} // namespace

std::wstring EngineFiles::ModuleFolder()
{
    static const int anchor = 0;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&anchor), &module))
        return std::wstring();
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring EngineFiles::Join(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty() || folder.back() == L'\\')
        return folder + name;
    return folder + L'\\' + name;
}

std::optional<std::string> EngineFiles::ReadSmallFile(const std::wstring& path, std::uint64_t maxBytes)
{
    UniqueFile file =
        UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > maxBytes)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr))
            return std::nullopt;
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

std::wstring EngineFiles::DecodeText(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        for (std::size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                           static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
        return text;
    }
    const std::size_t skip = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    if (bytes.size() == skip)
        return std::wstring();
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), nullptr, 0);
    std::wstring text(count > 0 ? count : 0, L'\0');
    if (count > 0)
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + skip, static_cast<int>(bytes.size() - skip), &text[0], count);
    return text;
}

std::string EngineFiles::EncodeUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(count > 0 ? count : 0, '\0');
    if (count > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], count, nullptr, nullptr);
    return bytes;
}

bool EngineFiles::AppendToFile(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file = UniqueFile(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool EngineFiles::CrossesReparsePoint(const std::wstring& path)
{
    // Walk from the path itself up to (not including) the drive root.
    std::wstring current = path;
    while (!current.empty()) {
        const DWORD attributes = GetFileAttributesW(current.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return true;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return true;
        const std::size_t slash = current.find_last_of(L'\\');
        if (slash == std::wstring::npos || slash <= 2)
            break;
        current.resize(slash);
    }
    return false;
}

bool EngineFiles::IsOpenedAs(void* file, const std::wstring& path)
{
    const std::wstring opened = TextFrom([&](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(file, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    const std::wstring full =
        TextFrom([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(path.c_str(), size, buffer, nullptr); });
    if (opened.empty() || full.empty())
        return false;
    // Short (8.3) names in the path are the same file under another spelling.
    std::wstring named =
        TextFrom([&](wchar_t* buffer, DWORD size) { return GetLongPathNameW(full.c_str(), buffer, size); });
    if (named.empty())
        named = full;
    return EqualsNoCase(WithoutLongPathPrefix(opened), WithoutLongPathPrefix(named));
}

} // namespace Substitute
