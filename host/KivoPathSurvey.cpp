#include "host/KivoPathSurvey.h"

#include <windows.h>

#include <algorithm>

#include "foundation/RCFileEnumerator.h"
#include "foundation/RCPath.h"
#include "foundation/RCString.h"
#include "module/RCBusCodes.h"

namespace KivoHost {

namespace {

// True when path is folder itself or lies inside it.
bool IsWithin(const std::wstring& path, const std::wstring& folder)
{
    if (RCEqualsNoCase(path, folder))
        return true;
    const std::wstring prefix = folder.back() == L'\\' ? folder : folder + L'\\';
    return path.size() > prefix.size() && RCCompareNoCase(path.c_str(), prefix.c_str(), prefix.size()) == 0;
}

bool IsDrivePath(const std::wstring& path)
{
    return path.size() >= 3 && path[1] == L':';
}

// Attributes of a given path; for a path longer than MAX_PATH the system
// wants the "\\?\" form. INVALID_FILE_ATTRIBUTES with the error left set.
DWORD AttributesOf(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    std::wstring longPath;
    if (attributes == INVALID_FILE_ATTRIBUTES && path.size() >= MAX_PATH && RCToLongPath(path, longPath))
        attributes = GetFileAttributesW(longPath.c_str());
    return attributes;
}

// Why a given path that has no attributes is refused.
std::wstring WhyNotThere(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return L"no such file or folder";
    case ERROR_INVALID_PARAMETER:
        // Wine's answer for a Unix FIFO, device or socket: it is there, but
        // no file the engine could read.
        return L"not a file or folder (a device, FIFO or socket)";
    case ERROR_ACCESS_DENIED:
        return L"access denied";
    case ERROR_INVALID_NAME:
        return L"a name Windows cannot spell";
    default:
        return L"cannot be looked at (error " + std::to_wstring(error) + L")";
    }
}

} // namespace

class KivoPathSurvey::Walk : public RC::RCFileEnumeratorCallback {
public:
    explicit Walk(KivoPathSurvey& survey) : survey_(survey) {}
    uint32_t OnFindFile(const std::wstring& directory, const std::wstring& name, const WIN32_FIND_DATAW&) override
    {
        if (survey_.stop_ != nullptr && survey_.stop_->load() != 0) {
            survey_.interrupted_ = true;
            return ERROR_CANCELLED;
        }
        survey_.CountFile(RCJoinFoundEntry(directory, name));
        return 0;
    }

private:
    KivoPathSurvey& survey_;
};

bool KivoPathSurvey::HasScannedExtension(const std::wstring& path)
{
    const size_t dot = path.find_last_of(L".\\/");
    if (dot == std::wstring::npos || path[dot] != L'.' || path.size() - dot != 4)
        return false;
    for (const wchar_t* scanned : RC::kScannedExtensions)
        if (RCEqualsNoCase(path.c_str() + dot, scanned))
            return true;
    return false;
}

std::wstring KivoPathSurvey::FullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, &full[0], nullptr);
    full.resize(length < needed ? length : 0);
    // A folder's trailing backslash would double up in the paths the walk joins.
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return full;
}

KivoPathSurvey::KivoPathSurvey(const std::vector<std::wstring>& given, const std::atomic<int>* stop) : stop_(stop)
{
    for (const std::wstring& path : given) {
        const std::wstring full = FullPath(path);
        if (!IsDrivePath(full)) {
            refused_.push_back({path, L"not on a drive (the module scans drive paths only)"});
            continue;
        }
        const DWORD attributes = AttributesOf(full);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            refused_.push_back({path, WhyNotThere(GetLastError())});
            continue;
        }
        AddRoot(path, full, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    for (size_t i = 0; i < roots_.size(); ++i) {
        if (!rootIsFolder_[i]) {
            CountFile(roots_[i]);
            if (roots_[i].size() <= kLongestPath && !HasScannedExtension(roots_[i]))
                namedNotScanned_.push_back(roots_[i]);
            continue;
        }
        Walk walk(*this);
        if (RCEnumerateFiles(roots_[i], &walk) == ERROR_CANCELLED)
            return;
    }
}

void KivoPathSurvey::AddRoot(const std::wstring& given, const std::wstring& full, bool folder)
{
    for (size_t i = 0; i < roots_.size(); ++i) {
        if (RCEqualsNoCase(full, roots_[i]) || (rootIsFolder_[i] && IsWithin(full, roots_[i]))) {
            repeated_.push_back(given);
            return;
        }
        // A folder given after a path inside it takes that path's place.
        if (folder && IsWithin(roots_[i], full)) {
            repeated_.push_back(roots_[i]);
            roots_.erase(roots_.begin() + static_cast<std::ptrdiff_t>(i));
            rootIsFolder_.erase(rootIsFolder_.begin() + static_cast<std::ptrdiff_t>(i));
            --i;
        }
    }
    roots_.push_back(full);
    rootIsFolder_.push_back(folder);
}

bool KivoPathSurvey::NoCaseLess::operator()(const std::wstring& left, const std::wstring& right) const
{
    return RCCompareNoCase(left.c_str(), right.c_str(), std::max(left.size(), right.size()) + 1) < 0;
}

void KivoPathSurvey::CountFile(const std::wstring& path)
{
    const auto placed = seen_.insert(path);
    if (!placed.second) {
        // The first of the names once, however many differ from it in case.
        if (std::find(caseTwins_.begin(), caseTwins_.end(), *placed.first) == caseTwins_.end())
            caseTwins_.push_back(*placed.first);
        caseTwins_.push_back(path);
    }
    if (path.size() > kLongestPath) {
        if (tooLongPaths_.size() < kKeptPaths)
            tooLongPaths_.push_back(path);
        ++tooLong_;
        return;
    }
    ++listed_;
    if (HasScannedExtension(path))
        ++scannable_;
}

} // namespace KivoHost
