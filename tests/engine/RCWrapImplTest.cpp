#include <gtest/gtest.h>

#include <windows.h>

#include "engine/RCWrapImpl.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"

using namespace RC;

TEST(RCWrapImpl, MissingLibraryIsNeverTriedAgain)
{
    const std::wstring late = RCPathJoin(RCGetExeFolder(), L"LateEngine.dll");
    DeleteFileW(late.c_str());
    RCWrapImpl binding(L"LateEngine.dll");
    EXPECT_FALSE(binding.Init());

    ASSERT_TRUE(CopyFileW(RCPathJoin(RCGetExeFolder(), L"Quentor.dll").c_str(), late.c_str(), FALSE));
    EXPECT_FALSE(binding.Init());
    EXPECT_EQ(RCCreateEngineObject<void>(&binding, kScanProxyObjectId), nullptr);
    DeleteFileW(late.c_str());
}
