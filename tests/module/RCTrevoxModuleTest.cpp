#include <gtest/gtest.h>

#include <algorithm>

#include "module/RCBusIds.h"
#include "module/RCTrevoxModule.h"
#include "support/RecordingHost.h"

using namespace RC;

TEST(RCTrevoxModule, ASecondAttachKeepsTheFirstSenderAndNoHostIsNoFault)
{
    RCTrevoxModule alone;
    EXPECT_EQ(alone.Attach(nullptr, nullptr), 0); // nothing to subscribe to
    alone.Detach();

    KivoTest::RecordingHost first;
    KivoTest::RecordingHost second;
    RCTrevoxModule module;
    module.Attach(&first, L"");
    module.Attach(&second, L"");
    EXPECT_EQ(second.subscribed.size(), 9u); // subscriptions go to the new host...

    module.OnStart();
    module.OnReceiveMessage(L"a", L"b", REQ_NET_STATE, nullptr, nullptr, 0);
    module.OnStop();
    const auto posts = first.Posts(); // ...posts still to the first
    EXPECT_EQ(std::count_if(posts.begin(), posts.end(), [](const auto& post) { return post.address1 == L"a"; }), 1);
    EXPECT_TRUE(second.Posts().empty());
}
