#include "foundation/RCWorldAccessSecurity.h"

#include <gtest/gtest.h>

namespace {

// With and without the packages entry, the one entry every variant must
// carry: Everyone, all access.
TEST(WorldAccessSecurity, GrantsEveryoneAllAccessWithAndWithoutPackages)
{
    BYTE worldSid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(worldSid);
    ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, worldSid, &sidSize));
    for (bool packages : {false, true}) {
        RCWorldAccessSecurity security(packages);
        SECURITY_ATTRIBUTES* attributes = security.Get();
        ASSERT_NE(attributes, nullptr);
        EXPECT_FALSE(attributes->bInheritHandle);
        BOOL present = FALSE, defaulted = TRUE;
        PACL acl = nullptr;
        ASSERT_TRUE(::GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted));
        ASSERT_TRUE(present && acl != nullptr);
        EXPECT_FALSE(defaulted);
        bool found = false;
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
            if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ::EqualSid(&ace->SidStart, worldSid))
                found = (ace->Mask & GENERIC_ALL) == GENERIC_ALL;
        }
        EXPECT_TRUE(found) << packages;
    }
}

} // namespace
