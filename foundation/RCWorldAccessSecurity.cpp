#include "foundation/RCWorldAccessSecurity.h"

#include "foundation/RCModuleCache.h"
#include "foundation/RCSystemInfo.h"

#include <aclapi.h>

namespace {

using InitializeSecurityDescriptorFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, DWORD);
using AllocateAndInitializeSidFn = BOOL(WINAPI*)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD,
                                                 DWORD, DWORD, DWORD, PSID*);
using GetLengthSidFn = DWORD(WINAPI*)(PSID);
using InitializeAclFn = BOOL(WINAPI*)(PACL, DWORD, DWORD);
using AddAccessAllowedAceFn = BOOL(WINAPI*)(PACL, DWORD, DWORD, PSID);
using SetEntriesInAclFn = DWORD(WINAPI*)(ULONG, PEXPLICIT_ACCESS_W, PACL, PACL*);
using SetSecurityDescriptorDaclFn = BOOL(WINAPI*)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);

constexpr const wchar_t* kAdvapi = L"Advapi32.dll";

void* HeapAllocZeroed(size_t size)
{
    return ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

} // namespace

RCWorldAccessSecurity::RCWorldAccessSecurity(bool includeApplicationPackages)
{
    attributes_.nLength = sizeof(attributes_);
    attributes_.bInheritHandle = FALSE;
    if (!Build(includeApplicationPackages)) {
        mergedAcl_.reset();
        acl_.reset();
        descriptor_.reset();
    }
    attributes_.lpSecurityDescriptor = descriptor_.get();
}

bool RCWorldAccessSecurity::Build(bool includeApplicationPackages)
{
    auto initDescriptor =
        RCModuleCache::GetProc<InitializeSecurityDescriptorFn>(kAdvapi, "InitializeSecurityDescriptor");
    auto allocateSid = RCModuleCache::GetProc<AllocateAndInitializeSidFn>(kAdvapi, "AllocateAndInitializeSid");
    auto sidLength = RCModuleCache::GetProc<GetLengthSidFn>(kAdvapi, "GetLengthSid");
    auto initAcl = RCModuleCache::GetProc<InitializeAclFn>(kAdvapi, "InitializeAcl");
    auto addAce = RCModuleCache::GetProc<AddAccessAllowedAceFn>(kAdvapi, "AddAccessAllowedAce");
    auto setDacl = RCModuleCache::GetProc<SetSecurityDescriptorDaclFn>(kAdvapi, "SetSecurityDescriptorDacl");
    if (!initDescriptor || !allocateSid || !sidLength || !initAcl || !addAce || !setDacl)
        return false;

    descriptor_.reset(HeapAllocZeroed(SECURITY_DESCRIPTOR_MIN_LENGTH));
    if (!descriptor_ || !initDescriptor(descriptor_.get(), SECURITY_DESCRIPTOR_REVISION))
        return false;

    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    RC::unique_sid everyone;
    if (!allocateSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.put()))
        return false;
    const DWORD aclSize = sidLength(everyone.get()) + 16;
    acl_.reset(HeapAllocZeroed(aclSize));
    PACL acl = static_cast<PACL>(acl_.get());
    if (!acl || !initAcl(acl, aclSize, ACL_REVISION) || !addAce(acl, ACL_REVISION, GENERIC_ALL, everyone.get()))
        return false;

    if (includeApplicationPackages && RCIsWin8OrLater()) {
        auto setEntries = RCModuleCache::GetProc<SetEntriesInAclFn>(kAdvapi, "SetEntriesInAclW");
        EXPLICIT_ACCESS_W access = {};
        access.grfAccessPermissions = GENERIC_ALL;
        access.grfAccessMode = SET_ACCESS;
        access.grfInheritance = NO_INHERITANCE;
        access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = const_cast<wchar_t*>(L"ALL APPLICATION PACKAGES");
        PACL merged = nullptr;
        if (setEntries && setEntries(1, &access, acl, &merged) == ERROR_SUCCESS) {
            mergedAcl_.reset(merged);
            if (setDacl(descriptor_.get(), TRUE, merged, FALSE))
                return true;
            // Not accepted: keep the Everyone-only list.
            mergedAcl_.reset();
        }
    }
    return setDacl(descriptor_.get(), TRUE, acl, FALSE) != FALSE;
}
