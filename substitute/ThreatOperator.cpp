#include "substitute/ThreatOperator.h"

#include <cwchar>

#include "foundation/RCNoThrowBoundary.h"
#include "substitute/EngineFiles.h"

namespace Substitute {

ThreatOperator::ThreatOperator(std::wstring engineFolder)
    : quarantine_(EngineFiles::Join(engineFolder, L"Quarantine"))
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
        const std::wstring path(request->path, wcsnlen(request->path, RC::kOperationPathUnits));
        return !path.empty() && quarantine_.Restore(request->fileMd5, path);
    });
}

} // namespace Substitute
