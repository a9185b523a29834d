#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ForeignHost.h"
#include "module/RCBusIds.h"
#include "Src/Engine/Enumerator/EnumTestSupport.h"

TEST(ForeignHost, DrivesTheModuleBySlotIndex)
{
    ForeignHostReport r;
    ASSERT_EQ(RunForeignHost(L"RCTrevox.dll", &r), 0);

    EXPECT_TRUE(r.countResult);
    EXPECT_EQ(r.count, 1u);
    EXPECT_FALSE(r.queryWrongIndexResult);
    EXPECT_TRUE(r.queryWrongIndexLeftPointer);
    EXPECT_EQ(r.attachResult, 0);
    EXPECT_EQ(std::wstring(r.moduleId), L"D41234FD-AFCC-4CE3-AAD0-BA7B94EFDA29");

    // Every request and the lifecycle, in order, through one callback.
    const std::vector<std::wstring> expected = {RC::REQ_TASK_SETUP,     RC::REQ_TASK_COMMAND,   RC::REQ_TASK_OPERATE,
                                                RC::REQ_NET_STATE,      RC::REQ_UPDATE_PAYLOAD, RC::REQ_UPDATE_ANSWER,
                                                RC::REQ_UPDATE_FORWARD, RC::MSG_MODULE_START,   RC::MSG_MODULE_STOP};
    ASSERT_EQ(r.subscribedCount, 9);
    EXPECT_EQ(expected, std::vector<std::wstring>(r.subscribed, r.subscribed + 9));
    EXPECT_TRUE(r.oneCallbackForAll);

    // The network-state request came back through the C host's PostMessage and
    // the module's holder wrote one byte into the C message.
    ASSERT_EQ(r.postedCount, 1);
    EXPECT_EQ(std::wstring(r.postedId), L"085A95FC-A76D-4F45-8062-A204AA8CAE25");
    EXPECT_EQ(std::wstring(r.postedAddress1), L"c-peer");
    EXPECT_EQ(std::wstring(r.postedAddress2), L"c-peer-2");
    EXPECT_EQ(r.postedDataSize, 1u);
    EXPECT_EQ(r.postedData[0], 0);

    // Detach took back the seven requests only, in subscription order.
    EXPECT_EQ(std::vector<std::wstring>(expected.begin(), expected.begin() + 7),
              std::vector<std::wstring>(r.unsubscribed, r.unsubscribed + r.unsubscribedCount));
    EXPECT_TRUE(r.releasedThroughSlot4);
}

TEST(ForeignHost, RunsACustomScanAndAQuarantineBySlotIndex)
{
    RC::test::ScratchDir folder;
    const std::wstring eicar =
        folder.Write(L"eicar.com", "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");
    folder.Write(L"clean.exe", "MZ nothing to see");
    ForeignScanReport r;
    ASSERT_EQ(0, RunForeignScan(L"RCTrevox.dll", folder.Path().c_str(), &r));
    EXPECT_EQ(1, r.setupDone);
    EXPECT_EQ(1, r.commandResult);
    EXPECT_EQ(1, r.threats);
    ASSERT_EQ(3, r.stateCount);  // the start command's zeros, scanning, completed
    EXPECT_EQ(std::vector<uint32_t>({0, 1, 4}), std::vector<uint32_t>(r.states, r.states + 3));
    EXPECT_EQ(2u, r.operateOutcome);  // quarantined: the file is gone
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(eicar.c_str()));
}
