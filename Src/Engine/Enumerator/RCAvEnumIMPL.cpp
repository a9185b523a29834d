#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"

#include <cwctype>

#include "Src/Engine/Enumerator/RCRegValue.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCHandles.h"
#include "foundation/RCNoThrowBoundary.h"
#include "foundation/RCString.h"
#include "foundation/RCSystemInfo.h"

namespace RC {

namespace {

// Paths as the sink wants them: drive-letter paths that fit MAX_PATH.
constexpr size_t kMinReportedPath = 3;
constexpr size_t kMaxReportedPath = 259;

bool IsClsidText(const std::wstring& value)
{
    return value.size() == kClsidLength && value.front() == L'{' && value.back() == L'}';
}

} // namespace

RCAvEnumIMPL::RCAvEnumIMPL(int32_t scanGroup, int32_t showType)
    : scanGroup_(static_cast<uint32_t>(scanGroup)), showType_(static_cast<uint32_t>(showType))
{
}

IAvEnumFileEvent* RCAvEnumIMPL::SetEnumEvent(IAvEnumFileEvent* sink)
{
    sink_ = sink;
    return sink;
}

bool RCAvEnumIMPL::Enum()
{
    stop_.store(0, std::memory_order_relaxed);
    if (!sink_)
        return false;
    // A walk that throws has ended there; its item still hears that it is
    // over, or it would stay "enumerating" with its share of the percentage
    // frozen while the run goes on.
    RCNoThrowBoundary("RCAvEnumIMPL::Enum", [&] {
        if (sink_->OnEnumItemStart(this) && !IsStopped())
            EnumImpl();
    });
    sink_->OnEnumFileEnd(this);
    return true;
}

bool RCAvEnumIMPL::Stop()
{
    SetStopped();
    return true;
}

int32_t RCAvEnumIMPL::GetScanGroup()
{
    return static_cast<int32_t>(scanGroup_);
}

int32_t RCAvEnumIMPL::GetShowType()
{
    return static_cast<int32_t>(showType_);
}

ItemStats* RCAvEnumIMPL::GetItemStats()
{
    return &stats_;
}

bool RCAvEnumIMPL::FireFileEnumEvent(const std::wstring& path, const std::wstring& subItem)
{
    if (path.size() < kMinReportedPath || path.size() > kMaxReportedPath || path[1] != L':' || !sink_)
        return true;
    try {
        RC_LOG(Detail, L"RCAvEnumIMPL::FireFileEnumEvent scanType = %d, scanSubType = %d, file = %s",
               static_cast<int>(scanGroup_), static_cast<int>(showType_), path.c_str());
        const bool accepted = sink_->OnEnumFile(this, path, subItem);
        if (!accepted)
            SetStopped();
        return accepted;
    } catch (...) {
        RC_LOG(Failure, L"RCAvEnumIMPL::FireFileEnumEvent exception");
        SetStopped();
        return false;
    }
}

bool RCAvEnumIMPL::FireRegistryValue(const std::wstring& value, const std::wstring& subItem, RCRegView view)
{
    if (IsClsidText(value))
        return FireFileEnumEvent(GetClsidServerPath(value.c_str(), view), subItem);
    if (value.empty())
        return true;

    // Every piece is fired even after a refusal: the result only reports it.
    bool result = true;
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(L',', start);
        const std::wstring piece =
            value.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        const bool fired = FireFileEnumEvent(TranslateRegistryPath(piece.c_str(), view), subItem);
        result = result && fired;
        if (comma == std::wstring::npos)
            break;
        start = comma + 1;
    }
    return result;
}

bool RCAvEnumIMPL::FireTranslatedPath(const std::wstring& path, const std::wstring& subItem)
{
    const std::wstring native = TranslateRegistryPath(path.c_str(), RCRegView::Own);
    const bool result = FireFileEnumEvent(native, subItem);
    if (result && RCIs64BitOs()) {
        const std::wstring view32 = TranslateRegistryPath(path.c_str(), RCRegView::Wide64);
        const size_t longer = native.size() > view32.size() ? native.size() : view32.size();
        if (RCCompareNoCase(native.c_str(), view32.c_str(), longer) != 0)
            return FireFileEnumEvent(view32, subItem);
    }
    return result;
}

std::wstring RCAvEnumIMPL::GetClsidServerPath(const wchar_t* clsid, RCRegView view)
{
    if (!clsid || !*clsid)
        return std::wstring();
    const std::wstring subKey = std::wstring(L"CLSID\\") + clsid + L"\\InProcServer32";
    unique_hkey key = RCRegValue::OpenKey(HKEY_CLASSES_ROOT, subKey.c_str(), view);
    if (!key)
        return std::wstring();
    RCRegValue value;
    if (!value.Read(key.get(), nullptr))
        return std::wstring();
    key.reset();
    return TranslateRegistryPath(value.Text(), view);
}

} // namespace RC
