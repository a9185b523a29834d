#include <gtest/gtest.h>

#include <windows.h>

#include "engine/RCWrapImpl.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"

using namespace RC;

TEST(RCWrapImpl, OneBindingPerLibraryLoadedOnce)
{
    RCWrapImpl* first = RCQuentorWrap();
    EXPECT_EQ(first, RCQuentorWrap());
    EXPECT_NE(first, RCHalvaneWrap());

    ASSERT_TRUE(first->Init());
    ASSERT_TRUE(first->Init());
    ASSERT_NE(first->createObj, nullptr);
    ASSERT_NE(first->destroyObj, nullptr);

    void* proxy = RCCreateEngineObject<void>(first, kScanProxyObjectId);
    EXPECT_NE(proxy, nullptr);
    RCDestroyEngineObject(first, kScanProxyObjectId, proxy);
    EXPECT_EQ(proxy, nullptr);
    EXPECT_EQ(RCCreateEngineObject<void>(first, 0x7777), nullptr);  // an id the library does not know
}

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
