#include <gtest/gtest.h>

#include <string>

#include "ForeignHost.h"
#include "module/RCBusIds.h"

TEST(ForeignHost, DrivesTheModuleBySlotIndex)
{
    ForeignHostReport r;
    ASSERT_EQ(RunForeignHost(L"RCTrevox.dll", &r), 0);
    EXPECT_TRUE(r.countResult && r.countWithoutOutResult);
    EXPECT_EQ(r.count, 1u);
    EXPECT_TRUE(r.wrongIndexRefusedUntouched);
    EXPECT_TRUE(r.twoDistinctModulesOneIdText);
    EXPECT_TRUE(r.releasedThroughSlot4);
    EXPECT_EQ(r.attachResult, 0);
    EXPECT_TRUE(r.oneCallbackForAll);
    EXPECT_EQ(std::wstring(r.moduleId), L"D41234FD-AFCC-4CE3-AAD0-BA7B94EFDA29");

    // Every request and the lifecycle subscribed in order; the setup record
    // came in through the C message's binary slots (its TaskId "C" is
    // echoed) and both answers went out through the C host's PostMessage and
    // the module's holder; detach takes back the seven requests only.
    const std::wstring requests[] = {RC::REQ_TASK_SETUP,    RC::REQ_TASK_COMMAND,   RC::REQ_TASK_OPERATE,
                                     RC::REQ_NET_STATE,     RC::REQ_UPDATE_PAYLOAD, RC::REQ_UPDATE_ANSWER,
                                     RC::REQ_UPDATE_FORWARD};
    std::wstring expected;
    for (const std::wstring& id : requests)
        expected += L"+" + id + L"\n";
    expected += std::wstring(L"+") + RC::MSG_MODULE_START + L"\n+" + RC::MSG_MODULE_STOP + L"\n" +
                L"20BF340A-86FF-4DDC-B443-7D976E75AA66 c1>c2 010000004300\n" +
                L"085A95FC-A76D-4F45-8062-A204AA8CAE25 c-peer>c-peer-2 00\n";
    for (const std::wstring& id : requests)
        expected += L"-" + id + L"\n";
    EXPECT_EQ(std::wstring(r.journal), expected);
}
