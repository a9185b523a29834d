#include "substitute/quarantine/ThreatOperator.h"

#include <cstddef>
#include <cwchar>

#include "foundation/RCNoThrowBoundary.h"
#include "substitute/system/EngineFiles.h"
#include "substitute/quarantine/RestoreRequest.h"

namespace Substitute {

static_assert(sizeof(RC::ThreatOperation4Request) == RestoreRequest::kSize, "request size");
static_assert(offsetof(RC::ThreatOperation4Request, path) == RestoreRequest::kPathOffset, "path");
static_assert(RC::kOperationPathUnits == RestoreRequest::kPathUnits, "path units");
static_assert(offsetof(RC::ThreatOperation4Request, fileMd5) == RestoreRequest::kMd5Offset, "file MD5");

ThreatOperator::ThreatOperator(std::wstring engineFolder) : quarantine_(EngineFiles::Join(engineFolder, L"Quarantine"))
{
}

bool ThreatOperator::ApplyOperation1(const RC::MsvcWString* path, const RC::ScanResult* result)
{
    // The scan result's MD5 is the item's key for restore: without it, no quarantine.
    if (path == nullptr || path->Size() == 0 || result == nullptr)
        return false;
    return RC::RCNoThrowBoundary("ThreatOperator::ApplyOperation1", false, [&] {
        const std::wstring threatName(result->threatName, wcsnlen(result->threatName, RC::kThreatNameUnits));
        return quarantine_.Quarantine(std::wstring(path->Data(), path->Size()), threatName, result->fileMd5);
    });
}

bool ThreatOperator::ApplyOperation4(const RC::ThreatOperation4Request* request)
{
    if (request == nullptr)
        return false;
    return RC::RCNoThrowBoundary("ThreatOperator::ApplyOperation4", false, [&] {
        RestoreRequest restore;
        return RestoreRequest::Read(reinterpret_cast<const std::uint8_t*>(request), sizeof *request, restore) &&
               quarantine_.Restore(restore.md5, restore.path);
    });
}

} // namespace Substitute
