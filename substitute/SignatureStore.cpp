#include "substitute/SignatureStore.h"

#include <windows.h>

#include <algorithm>

#include "substitute/EngineFiles.h"
#include "substitute/SignatureParser.h"
#include "substitute/SubstituteHandles.h"

namespace Substitute {

namespace {
constexpr std::uint64_t kMaxDatabaseBytes = 512ull << 20;
}

SignatureStore::SignatureStore(std::wstring folder) : folder_(std::move(folder)) {}

std::vector<SignatureStore::FileStamp> SignatureStore::ListDatabases() const
{
    std::vector<FileStamp> files;
    WIN32_FIND_DATAW found{};
    UniqueFind find = UniqueFind(FindFirstFileW(EngineFiles::Join(folder_, L"*").c_str(), &found));
    if (!find)
        return files;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (!SignatureParser::FormatOfFileName(found.cFileName))
            continue;
        files.push_back({found.cFileName,
                         (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                         (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                             found.ftLastWriteTime.dwLowDateTime});
    } while (FindNextFileW(find.get(), &found));
    // Record numbers follow file order, so the order must not depend on the
    // file system's listing.
    std::sort(files.begin(), files.end(), [](const FileStamp& a, const FileStamp& b) {
        return CompareStringOrdinal(a.name.c_str(), -1, b.name.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    return files;
}

std::shared_ptr<const SignatureDatabase> SignatureStore::Load(const std::vector<FileStamp>& files) const
{
    std::vector<HashSignature> signatures;
    for (const FileStamp& file : files) {
        const std::optional<std::string> text = EngineFiles::ReadSmallFile(EngineFiles::Join(folder_, file.name), kMaxDatabaseBytes);
        if (!text)
            continue;
        SignatureParser::ParseText(*text, *SignatureParser::FormatOfFileName(file.name), signatures);
    }
    return std::make_shared<const SignatureDatabase>(std::move(signatures));
}

std::shared_ptr<const SignatureDatabase> SignatureStore::Current()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!loaded_) {
        stamps_ = ListDatabases();
        current_ = Load(stamps_);
        loaded_ = true;
    }
    return current_;
}

bool SignatureStore::ReloadIfChanged()
{
    std::vector<FileStamp> files = ListDatabases();
    std::lock_guard<std::mutex> guard(lock_);
    if (loaded_ && files == stamps_)
        return false;
    current_ = Load(files);
    stamps_ = std::move(files);
    loaded_ = true;
    return true;
}

} // namespace Substitute
