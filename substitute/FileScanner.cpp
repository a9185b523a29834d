#include "substitute/FileScanner.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "substitute/EicarCheck.h"
#include "substitute/SubstituteHandles.h"
#include "substitute/ThreatClassifier.h"
#include "substitute/Wow64RedirectionOff.h"

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
    result.signatureId = recordNumber;
}

void FileScanner::StartSections(const SignatureDatabase& database, std::uint64_t fileSize, std::size_t got)
{
    sections_.clear();
    if (!database.HasSections())
        return;
    const PeSections table = PeSectionTable::Read(buffer_.data(), got, fileSize);
    for (const PeSection& section : table.sections) {
        std::array<bool, kHashKindCount> wanted{};
        bool any = false;
        for (HashKind kind : kAllKinds)
            any |= wanted[static_cast<std::size_t>(kind)] = database.NeedsSection(kind, section.size);
        if (!any)
            continue;
        if (sections_.size() == sectionHashers_.size())
            sectionHashers_.push_back(std::make_unique<FileHasher>());
        FileHasher* hasher = sectionHashers_[sections_.size()].get();
        if (hasher->Begin(wanted))
            sections_.push_back({section, hasher});
    }
}

void FileScanner::FeedSections(std::uint64_t chunkOffset, std::size_t got)
{
    const std::uint64_t chunkEnd = chunkOffset + got;
    for (const SectionHash& hash : sections_) {
        const std::uint64_t start = std::max(hash.section.offset, chunkOffset);
        const std::uint64_t end = std::min(hash.section.offset + hash.section.size, chunkEnd);
        if (start < end)
            hash.hasher->Update(buffer_.data() + (start - chunkOffset), static_cast<std::size_t>(end - start));
    }
}

std::optional<SignatureMatch> FileScanner::FindSection(const SignatureDatabase& database)
{
    for (const SectionHash& hash : sections_) {
        if (!hash.hasher->Finish())
            continue;
        for (HashKind kind : kAllKinds)
            if (database.NeedsSection(kind, hash.section.size))
                if (auto match = database.Find(HashTable::Section, kind, hash.hasher->Digest(kind), hash.section.size))
                    return match;
    }
    return std::nullopt;
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

void FileScanner::Scan(const wchar_t* path, const SignatureDatabase& database, const std::atomic<bool>& cancel,
                       RC::ScanResult& result)
{
    std::memset(&result, 0, sizeof result);
    UniqueFile file;
    {
        Wow64RedirectionOff redirectionOff;
        file = UniqueFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    }
    LARGE_INTEGER expected{};
    if (!file || !GetFileSizeEx(file.get(), &expected))
        return;
    const std::uint64_t expectedSize = static_cast<std::uint64_t>(expected.QuadPart);

    // MD5 always: it is the file's key in every answer (and in quarantine).
    wanted_ = {};
    wanted_[static_cast<std::size_t>(HashKind::Md5)] = true;
    for (HashKind kind : {HashKind::Sha1, HashKind::Sha256})
        wanted_[static_cast<std::size_t>(kind)] = database.Needs(kind, expectedSize);
    if (!hasher_.Begin(wanted_))
        return;

    std::uint64_t total = 0;
    bool eicar = false;
    sections_.clear();
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            return;
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr))
            return;
        if (got == 0)
            break;
        if (total == 0) {
            if (expectedSize <= kEicarMaxFileSize)
                eicar = EicarCheck::Matches(buffer_.data(), got) && got == expectedSize;
            StartSections(database, expectedSize, got);
        }
        if (!hasher_.Update(buffer_.data(), got))
            return;
        FeedSections(total, got);
        total += got;
    }
    if (!hasher_.Finish())
        return;

    std::memcpy(result.fileMd5, hasher_.Digest(HashKind::Md5), sizeof result.fileMd5);
    result.fileSizeLow = static_cast<std::uint32_t>(total);
    // A file that changed size while it was read has section offsets from
    // another file: its sections are not judged.
    if (total != expectedSize)
        sections_.clear();
    if (Allowed(database, total))
        return;
    if (eicar && total == expectedSize) {
        Report(kEicarName, 0, result);
        return;
    }
    std::optional<SignatureMatch> match = FindFile(database, total);
    if (!match)
        match = FindSection(database);
    if (match) {
        // Names are ASCII by convention; any other byte is kept as its Latin-1 unit.
        std::wstring name(match->name.size(), L'\0');
        for (std::size_t i = 0; i < name.size(); ++i)
            name[i] = static_cast<wchar_t>(static_cast<unsigned char>(match->name[i]));
        Report(name.c_str(), match->recordNumber, result);
    }
}

} // namespace Substitute
