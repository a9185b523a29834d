// The module as a host sees it: loaded from RCTrevox.dll through its exports.
#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/RCProcAddress.h"
#include "host/RCModuleLibrary.h"
#include "module/RCBusIds.h"
#include "support/RecordingHost.h"

using namespace RC;
using KivoHost::RCModuleLibrary;

namespace {

class RCTrevoxModuleTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library.Load(L"RCTrevox.dll")); }

    RCModuleLibrary library;
};

} // namespace

TEST_F(RCTrevoxModuleTest, ExportsHandOutIndependentModules)
{
    using GetCount = bool(__cdecl*)(uint32_t*);
    auto getCount = RCGetProcAddress<GetCount>(GetModuleHandleW(L"RCTrevox.dll"), "RCVBusGetModuleCount");
    ASSERT_NE(getCount, nullptr);
    EXPECT_TRUE(getCount(nullptr));
    EXPECT_EQ(library.ModuleCount(), 1u);

    EXPECT_EQ(library.QueryModule(1), nullptr);
    DmAvCore::IVBusModule* first = library.QueryModule(0);
    DmAvCore::IVBusModule* second = library.QueryModule(0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    // One static text for every call and every module.
    EXPECT_STREQ(first->GetModuleId(), L"D41234FD-AFCC-4CE3-AAD0-BA7B94EFDA29");
    EXPECT_EQ(first->GetModuleId(), second->GetModuleId());

    // Without a host there is nothing to subscribe to, and nothing fails.
    EXPECT_EQ(second->Attach(nullptr, nullptr), 0);
    second->Detach();

    library.ReleaseModule(5, first);  // the index is ignored
    library.ReleaseModule(0, nullptr);
    library.ReleaseModule(0, second);
}

TEST_F(RCTrevoxModuleTest, SecondAttachKeepsTheFirstSender)
{
    KivoTest::RecordingHost first;
    KivoTest::RecordingHost second;
    DmAvCore::IVBusModule* module = library.QueryModule(0);
    ASSERT_NE(module, nullptr);
    module->Attach(&first, L"");
    module->Attach(&second, L"");
    EXPECT_EQ(second.subscribed.size(), 9u);  // subscriptions go to the new host...

    module->OnStart();
    module->OnReceiveMessage(L"a", L"b", REQ_NET_STATE, nullptr, nullptr, 0);
    module->OnStop();
    const auto posts = first.Posts();  // ...posts still to the first
    EXPECT_EQ(std::count_if(posts.begin(), posts.end(), [](const auto& post) { return post.address1 == L"a"; }), 1);
    EXPECT_TRUE(second.Posts().empty());
    library.ReleaseModule(0, module);
}
