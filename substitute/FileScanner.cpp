#include "substitute/FileScanner.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

#include "substitute/EicarCheck.h"
#include "substitute/SubstituteHandles.h"
#include "substitute/ThreatClassifier.h"
#include "substitute/Wow64RedirectionOff.h"

namespace Substitute {

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

    // MD5 always: it is the file's key in every answer (and in quarantine).
    std::array<bool, kHashKindCount> wanted{};
    wanted[static_cast<std::size_t>(HashKind::Md5)] = true;
    for (HashKind kind : {HashKind::Sha1, HashKind::Sha256})
        wanted[static_cast<std::size_t>(kind)] = database.Needs(kind, static_cast<std::uint64_t>(expected.QuadPart));
    if (!hasher_.Begin(wanted))
        return;

    std::uint64_t total = 0;
    bool eicar = false;
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            return;
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &got, nullptr))
            return;
        if (got == 0)
            break;
        if (total == 0 && expected.QuadPart <= static_cast<LONGLONG>(kEicarMaxFileSize))
            eicar = EicarCheck::Matches(buffer_.data(), got) && static_cast<LONGLONG>(got) == expected.QuadPart;
        if (!hasher_.Update(buffer_.data(), got))
            return;
        total += got;
    }
    if (!hasher_.Finish())
        return;

    std::memcpy(result.fileMd5, hasher_.Digest(HashKind::Md5), sizeof result.fileMd5);
    result.fileSizeLow = static_cast<std::uint32_t>(total);
    if (eicar && total == static_cast<std::uint64_t>(expected.QuadPart)) {
        Report(kEicarName, 0, result);
        return;
    }
    for (HashKind kind : {HashKind::Md5, HashKind::Sha1, HashKind::Sha256}) {
        if (!wanted[static_cast<std::size_t>(kind)])
            continue;
        if (const HashSignature* signature = database.Find(kind, hasher_.Digest(kind), total)) {
            Report(signature->name.c_str(), signature->recordNumber, result);
            return;
        }
    }
}

} // namespace Substitute
