#include <gtest/gtest.h>

#include "module/RCBusIds.h"
#include "module/RCModuleMsgData.h"
#include "module/RCModuleSender.h"
#include "support/RecordingHost.h"

using namespace RC;
using KivoTest::RecordingHost;
using KivoTest::RecordingMessage;

TEST(RCModuleSender, EmptyAddressesAndDataArePostedAsNullPointers)
{
    RecordingHost host;
    RCModuleSender sender(&host);
    sender.Send(L"", L"", L"ID", nullptr, nullptr, 0);
    sender.SendMap(L"", L"x", L"ID", {});
    sender.PostAddressNotice(L"");  // nothing to notice
    sender.PostAddressNotice(L"peer");
    sender.PostModuleStop();

    ASSERT_EQ(host.posts.size(), 4u);
    EXPECT_FALSE(host.posts[0].hasHolder);
    EXPECT_TRUE(host.posts[0].address1IsNull);
    EXPECT_TRUE(host.posts[0].address2IsNull);
    EXPECT_FALSE(host.posts[1].hasHolder);
    EXPECT_FALSE(host.posts[1].address2IsNull);
    EXPECT_EQ(host.posts[2].id, MSG_ADDRESS_NOTICE);
    EXPECT_EQ(host.posts[2].address1, L"peer");
    EXPECT_TRUE(host.posts[2].address2IsNull);
    EXPECT_EQ(host.posts[3].id, MSG_MODULE_STOP);
    EXPECT_TRUE(host.posts[3].address1IsNull);

    RCModuleSender detached(nullptr);
    detached.PostModuleStop();  // no host: nothing happens, nothing breaks
}

TEST(RCModuleSender, MapHolderWritesKeysInOrdinalOrder)
{
    RecordingHost host;
    RCModuleSender sender(&host);
    RCModuleMapMsgData::Map values;
    values[L"b"] = L"2";
    values[L"a"] = L"1";
    values[L"B"] = L"3";  // upper case sorts first, by code unit
    sender.SendMap(L"x", L"y", L"ID", values);

    ASSERT_EQ(host.posts.size(), 1u);
    const auto& content = host.posts[0].content;
    ASSERT_EQ(content.size(), 3u);
    EXPECT_EQ(content[0].key, L"B");
    EXPECT_EQ(content[1].key, L"a");
    EXPECT_EQ(content[2].key, L"b");
    EXPECT_EQ(content[2].text, L"2");
}

TEST(RCModuleMsgData, WritesHeaderOnlyWhenSetAndKeepsNoEmptyBlock)
{
    RCModuleMsgData holder;
    const uint8_t byte = 7;
    holder.SetData(&byte, 0);
    EXPECT_EQ(holder.data(), nullptr);

    holder.SetHeader(-5);
    holder.SetData(&byte, 1);
    RecordingMessage message;
    holder.WriteTo(&message);
    ASSERT_EQ(message.calls.size(), 2u);
    EXPECT_EQ(message.calls[0].key, L"SafeDataHeader");
    EXPECT_EQ(message.calls[0].bytes.size(), 4u);
    EXPECT_EQ(message.calls[1].key, L"SafeData");
}
