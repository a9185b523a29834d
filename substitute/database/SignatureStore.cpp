#include "substitute/database/SignatureStore.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "foundation/RCDebugger.h"
#include "substitute/database/ContainerHeader.h"
#include "substitute/database/DatabaseReader.h"
#include "substitute/database/GcryptContainerChecks.h"
#include "substitute/hash/GcryptHasher.h"
#include "substitute/signature/SignatureParser.h"
#include "substitute/system/EngineFiles.h"
#include "substitute/system/SubstituteHandles.h"

namespace Substitute {

namespace {

constexpr std::size_t kReadBytes = 1u << 20;

// Containers are checked as clamscan checks them, unless the host says its
// user builds unsigned ones (kivoscan's and quentor-scan's --unsigned).
std::optional<ContainerChecks> ChecksWanted()
{
    if (GetEnvironmentVariableW(L"QUENTOR_UNSIGNED_CONTAINERS", nullptr, 0) != 0)
        return std::nullopt;
    return GcryptContainerChecks();
}

// Reads a file in pieces into the reader; false when it cannot be read to its end.
bool ReadInto(const std::wstring& path, DatabaseReader& reader)
{
    UniqueFile file = UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return false;
    std::unique_ptr<char[]> buffer = std::make_unique<char[]>(kReadBytes);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.get(), static_cast<DWORD>(kReadBytes), &got, nullptr))
            return false;
        if (got == 0)
            return true;
        reader.Feed(std::string_view(buffer.get(), got));
    }
}

// The version in a container's header, or nothing when it has none.
std::optional<unsigned> ContainerVersion(const std::wstring& path)
{
    UniqueFile file = UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
    char bytes[ContainerHeader::kBytes];
    DWORD got = 0;
    if (!file || !ReadFile(file.get(), bytes, sizeof bytes, &got, nullptr))
        return std::nullopt;
    const std::optional<ContainerHeader> header = ContainerHeader::Parse(std::string_view(bytes, got));
    return header ? std::optional<unsigned>(header->version) : std::nullopt;
}

// True for a container whose twin of the other kind (daily.cvd beside
// daily.cld, as an update leaves them) has a newer version: only one copy
// of each database is loaded, the newer (the .cld when both are as new).
bool IsOlderTwin(const std::wstring& folder, const std::wstring& name, const std::vector<std::wstring>& names)
{
    const std::size_t dot = name.size() >= 4 ? name.size() - 4 : std::wstring::npos;
    if (dot == std::wstring::npos)
        return false;
    const std::wstring kind = name.substr(dot);
    const bool cvd = CompareStringOrdinal(kind.c_str(), -1, L".cvd", -1, TRUE) == CSTR_EQUAL;
    const bool cld = CompareStringOrdinal(kind.c_str(), -1, L".cld", -1, TRUE) == CSTR_EQUAL;
    if (!cvd && !cld)
        return false;
    const std::wstring twin = name.substr(0, dot) + (cvd ? L".cld" : L".cvd");
    const auto found = std::find_if(names.begin(), names.end(), [&](const std::wstring& other) {
        return CompareStringOrdinal(other.c_str(), -1, twin.c_str(), -1, TRUE) == CSTR_EQUAL;
    });
    if (found == names.end())
        return false;
    const std::optional<unsigned> mine = ContainerVersion(EngineFiles::Join(folder, name));
    const std::optional<unsigned> theirs = ContainerVersion(EngineFiles::Join(folder, *found));
    if (!theirs)
        return false; // a twin without a header is no copy of this one
    return !mine || *mine < *theirs || (*mine == *theirs && cvd);
}

} // namespace

SignatureStore::SignatureStore(const std::wstring& source)
{
    std::tie(folder_, only_) = Split(source);
}

std::pair<std::wstring, std::wstring> SignatureStore::Split(const std::wstring& source)
{
    const DWORD attributes = GetFileAttributesW(source.c_str());
    const std::size_t slash = source.find_last_of(L"\\/");
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) || slash == std::wstring::npos)
        return {source, std::wstring()};
    return {source.substr(0, slash), source.substr(slash + 1)};
}

std::vector<SignatureStore::FileStamp> SignatureStore::ListDatabases(const std::wstring& folder,
                                                                     const std::wstring& only)
{
    std::vector<FileStamp> files;
    WIN32_FIND_DATAW found{};
    UniqueFind find = UniqueFind(FindFirstFileW(EngineFiles::Join(folder, L"*").c_str(), &found));
    if (!find)
        return files;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        if (!DatabaseReader::Reads(EngineFiles::EncodeUtf8(found.cFileName)) ||
            (!only.empty() && CompareStringOrdinal(only.c_str(), -1, found.cFileName, -1, TRUE) != CSTR_EQUAL))
            continue;
        files.push_back({found.cFileName, (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
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

std::shared_ptr<const SignatureDatabase>
SignatureStore::Load(const std::wstring& folder, const std::vector<FileStamp>& files, SignatureLoadReport& report)
{
    SignatureDatabaseBuilder builder([hasher = std::make_shared<GcryptHasher>()](
                                         std::string_view line) -> std::optional<SignatureDatabaseBuilder::LineDigest> {
        std::array<bool, kHashKindCount> md5Only{};
        md5Only[static_cast<std::size_t>(HashKind::Md5)] = true;
        if (!hasher->Begin(md5Only) ||
            !hasher->Update(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()) || !hasher->Finish())
            return std::nullopt;
        SignatureDatabaseBuilder::LineDigest digest;
        std::copy_n(hasher->Digest(HashKind::Md5), digest.size(), digest.begin());
        return digest;
    });
    const std::optional<ContainerChecks> checks = ChecksWanted();
    std::vector<std::wstring> names;
    for (const FileStamp& file : files)
        names.push_back(file.name);
    // Ignore lists first, so that a line they name is silenced as it is
    // read; they hold no signature, so record numbers stay as they are.
    std::vector<FileStamp> ordered = files;
    std::stable_partition(ordered.begin(), ordered.end(), [](const FileStamp& file) {
        const std::optional<SignatureFormat> format = SignatureParser::FormatOfFileName(file.name);
        return format == SignatureFormat::Ign2;
    });
    for (const FileStamp& file : ordered) {
        if (IsOlderTwin(folder, file.name, names))
            continue;
        DatabaseReader reader(EngineFiles::EncodeUtf8(file.name), builder, report, checks ? &*checks : nullptr);
        if (ReadInto(EngineFiles::Join(folder, file.name), reader))
            reader.End();
        else
            reader.Abandon("cannot be read to its end");
    }
    return builder.Finish();
}

std::shared_ptr<const SignatureDatabase> SignatureStore::LoadSource(const std::wstring& source,
                                                                    SignatureLoadReport& report)
{
    const auto [folder, only] = Split(source);
    return Load(folder, ListDatabases(folder, only), report);
}

void SignatureStore::LoadLocked(std::vector<FileStamp> files)
{
    current_.reset();
    SignatureLoadReport report;
    current_ = Load(folder_, files, report);
    stamps_ = std::move(files);
    loaded_ = true;
    // Each problem is logged once, when the files that hold it are loaded.
    for (const std::string& problem : report.problems)
        RC_LOG(LostWork, L"signatures: %s", EngineFiles::DecodeText(problem).c_str());
    if (report.problemCount > report.problems.size())
        RC_LOG(LostWork, L"signatures: %u more problems",
               static_cast<unsigned>(report.problemCount - report.problems.size()));
    RC_LOG(Lifecycle, L"%s", EngineFiles::DecodeText(report.Summary()).c_str());
}

std::shared_ptr<const SignatureDatabase> SignatureStore::Current()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!loaded_)
        LoadLocked(ListDatabases(folder_, only_));
    return current_;
}

bool SignatureStore::ReloadIfChanged()
{
    std::vector<FileStamp> files = ListDatabases(folder_, only_);
    std::lock_guard<std::mutex> guard(lock_);
    if (loaded_ && files == stamps_)
        return false;
    LoadLocked(std::move(files));
    return true;
}

} // namespace Substitute
