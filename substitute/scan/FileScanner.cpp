#include "substitute/scan/FileScanner.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "substitute/scan/EicarCheck.h"
#include "substitute/system/SubstituteHandles.h"
#include "substitute/scan/ThreatClassifier.h"
#include "substitute/system/Wow64RedirectionOff.h"

namespace Substitute {

namespace {
constexpr HashKind kAllKinds[] = {HashKind::Md5, HashKind::Sha1, HashKind::Sha256};
}

FileScanner::FileScanner() : buffer_(kChunkBytes) {}

void FileScanner::Report(const wchar_t* name, std::uint32_t recordNumber, RC::ScanResult& result) const
{
    const ThreatClass verdict = ThreatClassifier::Classify(name);
    result.level = verdict.level;
    result.subLevel = verdict.subLevel;
    std::wcsncpy(result.threatName, name, RC::kThreatNameUnits - 1);
    result.threatName[RC::kThreatNameUnits - 1] = L'\0';
    result.signatureRecord = recordNumber;
}

void FileScanner::DropConsumers()
{
    for (ChunkConsumer* consumer : consumers_)
        consumer->Drop();
}

unsigned long FileScanner::ReadLayout(void* file, std::size_t headSize, std::uint64_t fileSize, PeSections& layout)
{
    PeBytes bytes{buffer_.data(), headSize};
    const std::optional<PeSectionTable::Span> span = PeSectionTable::FarHeaders(buffer_.data(), headSize, fileSize);
    if (span) {
        farHeaders_.resize(span->size);
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(span->offset);
        at.OffsetHigh = static_cast<DWORD>(span->offset >> 32);
        DWORD got = 0;
        // A header that cannot be read is unreadable to the layout, not to the scan.
        if (ReadFile(file, farHeaders_.data(), static_cast<DWORD>(span->size), &got, &at)) {
            bytes.headers = farHeaders_.data();
            bytes.headersOffset = span->offset;
            bytes.headersSize = got;
        }
        // A positioned read moves the file pointer: the chunks go on after the first.
        LARGE_INTEGER next{};
        next.QuadPart = static_cast<LONGLONG>(headSize);
        if (!SetFilePointerEx(file, next, nullptr, FILE_BEGIN)) {
            const DWORD error = GetLastError();
            farHeaders_ = {};
            return error;
        }
    }
    layout = PeSectionTable::Read(bytes, fileSize);
    if (span)
        farHeaders_ = {};
    return ERROR_SUCCESS;
}

std::optional<SignatureMatch> FileScanner::FindFile(const SignatureDatabase& database, std::uint64_t size) const
{
    for (HashKind kind : kAllKinds)
        if (wanted_[static_cast<std::size_t>(kind)])
            if (auto match = database.Find(HashTable::File, kind, hasher_.Digest(kind), size))
                return match;
    return std::nullopt;
}

bool FileScanner::Allowed(const SignatureDatabase& database, std::uint64_t size) const
{
    for (HashKind kind : kAllKinds)
        if (wanted_[static_cast<std::size_t>(kind)] &&
            database.Find(HashTable::Allowed, kind, hasher_.Digest(kind), size))
            return true;
    return false;
}

unsigned long FileScanner::Scan(const wchar_t* path, const SignatureDatabase& database, const std::atomic<bool>& cancel,
                                RC::ScanResult& result)
{
    std::memset(&result, 0, sizeof result);
    UniqueFile file;
    DWORD openError = ERROR_SUCCESS;
    {
        Wow64RedirectionOff redirectionOff;
        file = UniqueFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file)
            openError = GetLastError(); // before turning redirection back on
    }
    if (!file)
        return openError;
    LARGE_INTEGER expected{};
    if (!GetFileSizeEx(file.get(), &expected))
        return GetLastError();
    const std::uint64_t expectedSize = static_cast<std::uint64_t>(expected.QuadPart);

    // MD5 always: it is the file's key in every answer (and in quarantine).
    wanted_ = {};
    wanted_[static_cast<std::size_t>(HashKind::Md5)] = true;
    for (HashKind kind : {HashKind::Sha1, HashKind::Sha256})
        wanted_[static_cast<std::size_t>(kind)] = database.Needs(kind, expectedSize);
    if (!hasher_.Begin(wanted_))
        return ERROR_NOT_ENOUGH_MEMORY;

    std::uint64_t total = 0;
    bool eicar = false;
    for (;;) {
        DWORD got = 0;
        if (cancel.load(std::memory_order_relaxed)) {
            DropConsumers();
            return ERROR_SUCCESS;
        }
        if (!ReadFile(file.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr)) {
            const DWORD error = GetLastError();
            DropConsumers();
            return error;
        }
        if (got == 0)
            break;
        if (total == 0) {
            if (expectedSize <= kEicarMaxFileSize)
                eicar = EicarCheck::Matches(buffer_.data(), got) && got == expectedSize;
            PeSections layout;
            if (database.HasSections() || !database.Bodies().Empty()) {
                if (const DWORD error = ReadLayout(file.get(), got, expectedSize, layout); error != ERROR_SUCCESS)
                    return error;
            }
            for (ChunkConsumer* consumer : consumers_)
                consumer->Begin(database, layout, expectedSize);
        }
        if (!hasher_.Update(buffer_.data(), got)) {
            DropConsumers();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        for (ChunkConsumer* consumer : consumers_)
            consumer->Feed(total, buffer_.data(), got);
        total += got;
    }
    if (!hasher_.Finish()) {
        DropConsumers();
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    std::memcpy(result.fileMd5, hasher_.Digest(HashKind::Md5), sizeof result.fileMd5);
    result.fileSizeLow = static_cast<std::uint32_t>(total);
    // A file that changed size while it was read has headers from another
    // file: what was built on them is not judged.
    if (total != expectedSize)
        DropConsumers();
    if (Allowed(database, total)) {
        DropConsumers();
        return ERROR_SUCCESS;
    }
    if (eicar && total == expectedSize) {
        DropConsumers();
        Report(kEicarName, 0, result);
        return ERROR_SUCCESS;
    }
    std::optional<SignatureMatch> match = FindFile(database, total);
    for (ChunkConsumer* consumer : consumers_) {
        std::optional<SignatureMatch> found = consumer->Finish(database);
        if (!match)
            match = std::move(found);
    }
    if (match) {
        // Names are ASCII by convention; any other byte is kept as its Latin-1 unit.
        std::wstring name(match->name.size(), L'\0');
        for (std::size_t i = 0; i < name.size(); ++i)
            name[i] = static_cast<wchar_t>(static_cast<unsigned char>(match->name[i]));
        Report(name.c_str(), match->recordNumber, result);
    }
    return ERROR_SUCCESS;
}

} // namespace Substitute
