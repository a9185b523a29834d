#pragma once
// The enumerators of autostart and extension locations in the registry: Run
// keys, shell and browser extensions, security and network providers, logon
// components, association commands, debugger redirections and preload lists.
// Which keys each one reads, and how, is the location table of
// RCRegLocations.cpp; each class here only names its rows.
//
// Runs on the enumeration thread. On 64-bit Windows every location is read
// twice: first in the 64-bit registry view with paths mapped for the 32-bit
// file view, then in the process's own view. A stop ends each loop at its next
// test, while the remaining single values of the run are still read.
#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"
#include "Src/Engine/Enumerator/RCRegLocations.h"
#include "foundation/RCSystemInfo.h"

namespace RC {

// fixedGroup 0: the scan group comes from the creator.
template <RCRegReader reader, int32_t fixedGroup>
class RCAvEnumRegistry : public RCAvEnumIMPL {
public:
    RCAvEnumRegistry(int32_t scanGroup, int32_t showType) : RCAvEnumIMPL(fixedGroup ? fixedGroup : scanGroup, showType)
    {
    }

protected:
    void EnumImpl() override
    {
        if (RCIs64BitOs())
            EnumView(RCRegView::Wide64);
        EnumView(RCRegView::Own);
    }

    // One registry view's walk; false once the enumerator is stopped.
    virtual bool EnumView(RCRegView view)
    {
        EnumRegLocations(reader, view);
        return !IsStopped();
    }
};

// clang-format off
class RCAvEnumStartUp        final : public RCAvEnumRegistry<RCRegReader::StartUp, 16>        { using RCAvEnumRegistry::RCAvEnumRegistry; };
class RCAvEnumSensitive      final : public RCAvEnumRegistry<RCRegReader::Sensitive, 0>       { using RCAvEnumRegistry::RCAvEnumRegistry; };
class RCAvEnumAppPath        final : public RCAvEnumRegistry<RCRegReader::AppPath, 16>        { using RCAvEnumRegistry::RCAvEnumRegistry; };
class RCAvEnumFileAssociate  final : public RCAvEnumRegistry<RCRegReader::FileAssociate, 16>  { using RCAvEnumRegistry::RCAvEnumRegistry; };
class RCAvEnumIEPopUpMenu    final : public RCAvEnumRegistry<RCRegReader::IEPopUpMenu, 8>     { using RCAvEnumRegistry::RCAvEnumRegistry; };
class RCAvEnumMirrorKidnap   final : public RCAvEnumRegistry<RCRegReader::MirrorKidnap, 8>    { using RCAvEnumRegistry::RCAvEnumRegistry; };
class RCAvEnumProcessPreload final : public RCAvEnumRegistry<RCRegReader::ProcessPreload, 8>  { using RCAvEnumRegistry::RCAvEnumRegistry; };
class RCAvEnumOldOsLoad      final : public RCAvEnumRegistry<RCRegReader::OldOsLoad, 8>       { using RCAvEnumRegistry::RCAvEnumRegistry; };
// clang-format on

} // namespace RC
