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
// A container's copy larger than this is given back after its scan rather
// than kept for the next file.
constexpr std::size_t kKeptContainerBytes = 8u << 20;

std::wstring Widen(const std::string& name)
{
    // Names are ASCII by convention; any other byte is kept as its Latin-1 unit.
    std::wstring wide(name.size(), L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
    return wide;
}
} // namespace

FileScanner::FileScanner(const ArchiveLimits& limits) : limits_(limits), buffer_(kChunkBytes) {}

void FileScanner::Report(const Finding& finding, RC::ScanResult& result) const
{
    const ThreatClass verdict = ThreatClassifier::Classify(finding.name.c_str());
    result.level = verdict.level;
    result.subLevel = verdict.subLevel;
    std::wcsncpy(result.threatName, finding.name.c_str(), RC::kThreatNameUnits - 1);
    result.threatName[RC::kThreatNameUnits - 1] = L'\0';
    result.signatureRecord = finding.recordNumber;
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
    return WholeFileHashes::Find(database, HashTable::File, hasher_, wanted_, size);
}

bool FileScanner::Allowed(const SignatureDatabase& database, std::uint64_t size) const
{
    return WholeFileHashes::Find(database, HashTable::Allowed, hasher_, wanted_, size).has_value();
}

void FileScanner::BeginHashes(const SignatureDatabase& database, std::uint64_t size)
{
    wanted_ = WholeFileHashes::For(database, size);
}

EntryJudge::Verdict FileScanner::Decide(const SignatureDatabase& database, std::uint64_t size, bool eicar)
{
    finding_.reset();
    if (Allowed(database, size)) {
        DropConsumers();
        return Verdict::Allowed;
    }
    if (eicar) {
        DropConsumers();
        finding_ = Finding{kEicarName, 0};
        return Verdict::Found;
    }
    std::optional<SignatureMatch> match = FindFile(database, size);
    for (ChunkConsumer* consumer : consumers_) {
        std::optional<SignatureMatch> found = consumer->Finish(database);
        if (!match)
            match = std::move(found);
    }
    if (!match)
        return Verdict::Clean;
    finding_ = Finding{Widen(match->name), match->recordNumber};
    return Verdict::Found;
}

unsigned long FileScanner::Scan(const wchar_t* path, const SignatureDatabase& database, const std::atomic<bool>& cancel,
                                RC::ScanResult& result)
{
    std::memset(&result, 0, sizeof result);
    shortfall_.clear();
    container_.clear();
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

    BeginHashes(database, expectedSize);
    if (!hasher_.Begin(wanted_))
        return ERROR_NOT_ENOUGH_MEMORY;

    std::uint64_t total = 0;
    bool eicar = false;
    bool container = false;
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
            if (ArchiveWalker::Identify(buffer_.data(), got) != ContainerKind::None) {
                container = expectedSize <= limits_.maxFileSize;
                if (container)
                    container_.reserve(static_cast<std::size_t>(expectedSize));
                else
                    shortfall_ = "max-filesize (" + std::to_string(limits_.maxFileSize) + " bytes)";
            }
        }
        if (!hasher_.Update(buffer_.data(), got)) {
            DropConsumers();
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        for (ChunkConsumer* consumer : consumers_)
            consumer->Feed(total, buffer_.data(), got);
        // A file that grows past what it was opened with is not copied on.
        if (container && container_.size() + got <= expectedSize)
            container_.insert(container_.end(), buffer_.data(), buffer_.data() + got);
        total += got;
        // A short read that reaches the size the file was opened with is its
        // end: one more read to hear so costs a trip through the system for
        // every small file. A file that grew meanwhile is read as it was.
        if (got < buffer_.size() && total == expectedSize)
            break;
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
    database_ = &database;
    cancel_ = &cancel;
    switch (Decide(database, total, eicar && total == expectedSize)) {
    case Verdict::Found:
        shortfall_.clear();
        Report(*finding_, result);
        break;
    case Verdict::Allowed:
        shortfall_.clear();
        break;
    case Verdict::Clean:
        if (container && total == expectedSize)
            LookInside(result);
        else if (container)
            shortfall_ = "changed while it was read";
        break;
    }
    if (container_.capacity() > kKeptContainerBytes)
        std::vector<std::uint8_t>().swap(container_);
    return ERROR_SUCCESS;
}

void FileScanner::LookInside(RC::ScanResult& result)
{
    unjudged_ = 0;
    ArchiveWalker walker(limits_, *this);
    const WalkOutcome outcome = walker.Walk(container_.data(), container_.size());
    if (cancel_->load(std::memory_order_relaxed))
        return;
    if (outcome.found || outcome.heuristic != nullptr) {
        // A threat is a threat: what else was left unread no longer matters.
        Report(outcome.found ? *finding_ : Finding{Widen(outcome.heuristic), 0}, result);
        return;
    }
    std::string shortfall = outcome.shortfall;
    std::uint32_t count = outcome.shortfalls;
    if (unjudged_ != 0 && count++ == 0)
        shortfall = "out of memory";
    shortfall_ = count > 1 ? shortfall + " and " + std::to_string(count - 1) + " more" : shortfall;
}

EntryJudge::Verdict FileScanner::Judge(const std::uint8_t* data, std::size_t size)
{
    BeginHashes(*database_, size);
    if (!hasher_.Begin(wanted_)) {
        ++unjudged_;
        return Verdict::Clean;
    }
    bool hashed = true;
    // The whole entry is in memory: its headers are wherever they lie.
    PeSections layout;
    if (database_->HasSections() || !database_->Bodies().Empty())
        layout = PeSectionTable::Read(data, size, size);
    for (ChunkConsumer* consumer : consumers_)
        consumer->Begin(*database_, layout, size);
    for (std::size_t at = 0; at < size && hashed; at += kChunkBytes) {
        const std::size_t piece = std::min(kChunkBytes, size - at);
        hashed = hasher_.Update(data + at, piece);
        for (ChunkConsumer* consumer : consumers_)
            consumer->Feed(at, data + at, piece);
    }
    if (!hashed || !hasher_.Finish()) {
        DropConsumers();
        ++unjudged_;
        return Verdict::Clean;
    }
    return Decide(*database_, size, EicarCheck::Matches(data, size));
}

} // namespace Substitute
