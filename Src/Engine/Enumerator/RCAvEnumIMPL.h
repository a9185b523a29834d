#pragma once
// The base of every enumerator: identity (scan group, show type), the stop
// flag, the statistics record, and the registry and path operations that the
// registry-based enumerators share.
//
// Threads: Enum and every Fire/Enum operation run on the enumeration thread;
// Stop comes from any thread and only sets the flag, which the walk tests
// before each item. The sink is set by the enumeration thread around Enum and
// is neither owned nor counted.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/IAvEnumFile.h"
#include "Src/Engine/Enumerator/IAvEnumFileEvent.h"
#include "Src/Engine/Enumerator/RCRegLocations.h"
#include "Src/Engine/Enumerator/RCRegValue.h"
#include "foundation/RCRefCountImpl1.h"

namespace RC {

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
constexpr size_t kClsidLength = 38;

class RCAvEnumIMPL : public RCRefCountImpl1<IAvEnumFile> {
public:
    RCAvEnumIMPL(int32_t scanGroup, int32_t showType);

    IAvEnumFileEvent* SetEnumEvent(IAvEnumFileEvent* sink) override;
    bool Enum() override;
    bool Stop() override;
    int32_t GetScanGroup() override;
    int32_t GetShowType() override;
    ItemStats* GetItemStats() override;

protected:
    // The enumerator's own walk.
    virtual void EnumImpl() = 0;

    bool IsStopped() const { return stop_.load(std::memory_order_relaxed) != 0; }
    void SetStopped() { stop_.store(1, std::memory_order_relaxed); }

    // A class identifier, or a comma list of command texts, each translated
    // and fired; false when the sink refused one of them.
    virtual bool FireRegistryValue(const std::wstring& value, const std::wstring& subItem, RCRegView view);
    // Reports one drive-letter path to the sink; false when the sink refused
    // it (the enumerator is then stopped). Unusable paths are passed over.
    virtual bool FireFileEnumEvent(const std::wstring& path, const std::wstring& subItem);
    virtual void EnumRegSubKeyValues(HKEY root, const wchar_t* subKey, const std::vector<std::wstring>& valueNames,
                                     RCRegView view);
    virtual void EnumRegClsidSubKeys(HKEY root, const wchar_t* subKey, RCRegView view);
    virtual void FireRegKeyValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName, RCRegView view);
    virtual void EnumRegValues(HKEY root, const wchar_t* subKey, bool useData, RCRegView view);
    // The path in the native view and, on 64-bit Windows, again in the 32-bit
    // view when that names a different file.
    virtual bool FireTranslatedPath(const std::wstring& path, const std::wstring& subItem);

    // Fires a string value of an open key (null name: the default value).
    bool FireRegValue(HKEY key, const wchar_t* valueName, RCRegView view);
    // A registry command text, library entry or resource reference as the
    // file it names; empty when it names none.
    std::wstring TranslateRegistryPath(const wchar_t* text, RCRegView view);
    std::wstring GetClsidServerPath(const wchar_t* clsid, RCRegView view);
    // The first existing file of that name (with the usual executable
    // extensions when it has none) in the folders of PATH.
    bool SearchPathEnv(const std::wstring& name, std::wstring& found, RCRegView view);

    // Reads the reader's rows of the location table (for the Sensitive
    // reader, those of this enumerator's show type) in one registry view.
    void EnumRegLocations(RCRegReader reader, RCRegView view);

private:
    void EnumRegLocation(const RCRegLocation& location, RCRegView view);
    // Fires a value of an open key as text, whatever its registry type.
    void FireRegText(HKEY key, const wchar_t* valueName, RCRegView view);
    // A class's command for one verb: classes\className\shell\verb\command.
    void FireVerbCommand(HKEY classes, const std::wstring& className, const wchar_t* verb, RCRegView view);
    // A path without a drive letter: a kernel-style image path
    // ("\SystemRoot\...", "\??\...") made whole, or a name found along PATH.
    // False when it names no file.
    bool ResolveWithoutDrive(std::wstring& path, RCRegView view);

    // Calls visit(key, name) for each readable sub key of root\subKey, testing
    // the stop flag before each one.
    template <class Visit>
    void ForEachSubKey(HKEY root, const wchar_t* subKey, RCRegView view, Visit visit);

    std::atomic<uint8_t> stop_{0};
    ItemStats stats_;
    uint32_t scanGroup_;
    uint32_t showType_;
    IAvEnumFileEvent* sink_ = nullptr;
};

} // namespace RC
