#include "foundation/RCWorldAccessSecurity.h"

#include <gtest/gtest.h>

namespace {

// The one entry every variant must carry: Everyone, all access.
void ExpectEveryoneMayDoAll(SECURITY_ATTRIBUTES* attributes)
{
    ASSERT_NE(attributes, nullptr);
    EXPECT_EQ(attributes->nLength, sizeof(SECURITY_ATTRIBUTES));
    EXPECT_FALSE(attributes->bInheritHandle);
    ASSERT_TRUE(::IsValidSecurityDescriptor(attributes->lpSecurityDescriptor));

    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &acl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(acl, nullptr);
    EXPECT_FALSE(defaulted);

    BYTE worldSid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(worldSid);
    ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, worldSid, &sidSize));
    bool found = false;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ::EqualSid(&ace->SidStart, worldSid))
            found = (ace->Mask & GENERIC_ALL) == GENERIC_ALL || ace->Mask == GENERIC_ALL;
    }
    EXPECT_TRUE(found);
}

TEST(WorldAccessSecurity, GrantsEveryoneAllAccessWithAndWithoutPackages)
{
    RCWorldAccessSecurity plain(false);
    ExpectEveryoneMayDoAll(plain.Get());
    RCWorldAccessSecurity packages(true);
    ExpectEveryoneMayDoAll(packages.Get());
}

} // namespace
