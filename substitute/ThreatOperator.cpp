#include "substitute/ThreatOperator.h"

#include <cwchar>

#include "substitute/EngineFiles.h"

namespace Substitute {

ThreatOperator::ThreatOperator(std::wstring engineFolder)
    : quarantine_(EngineFiles::Join(engineFolder, L"Quarantine"))
{
}

bool ThreatOperator::ApplyOperation1(const RC::MsvcWString* path, const RC::ScanResult* result)
{
    if (path == nullptr || path->Size() == 0)
        return false;
    try {
        std::wstring threatName;
        if (result != nullptr)
            threatName.assign(result->threatName, wcsnlen(result->threatName, RC::kThreatNameUnits));
        return quarantine_.Quarantine(std::wstring(path->Data(), path->Size()), threatName);
    } catch (...) {
        return false;
    }
}

bool ThreatOperator::ApplyOperation4(const RC::ThreatOperation4Request* request)
{
    if (request == nullptr)
        return false;
    try {
        const std::wstring path(request->path, wcsnlen(request->path, RC::kOperationPathUnits));
        return !path.empty() && quarantine_.Restore(request->fileMd5, path);
    } catch (...) {
        return false;
    }
}

} // namespace Substitute
