// The module as a host sees it: loaded from RCTrevox.dll through its exports
// and driven over the reference bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "foundation/RCProcAddress.h"
#include "host/RCBus.h"
#include "host/RCModuleLibrary.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "support/RecordingHost.h"

using namespace RC;
using KivoHost::RCBus;
using KivoHost::RCBusMessage;
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

    library.ReleaseModule(5, first);  // the index is ignored
    library.ReleaseModule(0, nullptr);
    library.ReleaseModule(0, second);
}

TEST_F(RCTrevoxModuleTest, SubscribesInOrderAndDetachKeepsTheLifecycle)
{
    KivoTest::RecordingHost host;
    DmAvCore::IVBusModule* module = library.QueryModule(0);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->Attach(&host, L"ignored"), 0);
    const std::vector<std::wstring> expected = {REQ_TASK_SETUP,     REQ_TASK_COMMAND,  REQ_TASK_OPERATE,
                                                REQ_NET_STATE,      REQ_UPDATE_PAYLOAD, REQ_UPDATE_ANSWER,
                                                REQ_UPDATE_FORWARD, MSG_MODULE_START,  MSG_MODULE_STOP};
    EXPECT_EQ(host.subscribed, expected);

    module->Detach();
    EXPECT_EQ(host.unsubscribed, std::vector<std::wstring>(expected.begin(), expected.begin() + 7));

    // Without a host there is nothing to subscribe to, and nothing fails.
    DmAvCore::IVBusModule* lonely = library.QueryModule(0);
    EXPECT_EQ(lonely->Attach(nullptr, nullptr), 0);
    lonely->Detach();
    library.ReleaseModule(0, lonely);
    library.ReleaseModule(0, module);
}

TEST_F(RCTrevoxModuleTest, AnswersTheNetworkStateToTheAsker)
{
    RCBus bus;
    std::mutex lock;
    std::vector<RCBusMessage> answers;
    bus.AddListener([&](const RCBusMessage& message) {
        // The monitor reports to nobody in particular (empty addresses).
        if (message.id() != EVT_NET_STATE || message.address1().empty())
            return;
        std::lock_guard<std::mutex> guard(lock);
        answers.push_back(message);
    });
    DmAvCore::IVBusModule* module = library.QueryModule(0);
    ASSERT_NE(module, nullptr);
    module->Attach(bus.HostFor(module), L"");

    bus.Post(MSG_MODULE_START, L"", L"");
    bus.Post(REQ_NET_STATE, L"peer-1", L"peer-2");
    bus.Post(MSG_MODULE_STOP, L"", L"");
    bus.Post(REQ_NET_STATE, L"after", L"stop");  // still answered once stopped
    bus.WaitIdle();
    module->Detach();
    bus.Post(REQ_NET_STATE, L"after", L"detach");  // no longer subscribed
    bus.WaitIdle();
    library.ReleaseModule(0, module);

    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].address1(), L"peer-1");
    EXPECT_EQ(answers[0].address2(), L"peer-2");
    const std::vector<uint8_t>* data = answers[0].binary(L"SafeData");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(*data, std::vector<uint8_t>{0});  // exactly one byte: not connected
    EXPECT_EQ(answers[0].binary(L"SafeDataHeader"), nullptr);
    EXPECT_EQ(answers[1].address1(), L"after");
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
