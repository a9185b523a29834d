#pragma once

#include "foundation/RCHandles.h"
#include "foundation/RCNonCopyable.h"

#include <windows.h>

// Security attributes that let every account open a named kernel object
// (the log mutex, events shared with other processes). On Windows 8 and later
// the application-package entry can be added so that sandboxed apps can open
// it too. If the descriptor cannot be built, Get() is null and the object is
// created with default security, as callers would without this.
class RCWorldAccessSecurity : private RC::RCNonCopyable {
public:
    explicit RCWorldAccessSecurity(bool includeApplicationPackages = false);

    SECURITY_ATTRIBUTES* Get() { return attributes_.lpSecurityDescriptor ? &attributes_ : nullptr; }

private:
    bool Build(bool includeApplicationPackages);

    SECURITY_ATTRIBUTES attributes_ = {};
    RC::unique_process_heap descriptor_;
    RC::unique_process_heap acl_;
    RC::unique_hlocal mergedAcl_;
};
