#include <gtest/gtest.h>

#include "module/RCBusIds.h"
#include "module/RCModuleMsgData.h"
#include "module/RCModuleSender.h"
#include "support/RecordingHost.h"

using namespace RC;
using KivoTest::RecordingHost;

namespace {

// "id a1>a2 holder", with "null" for a null address and "-" for no holder.
std::wstring Seen(const RecordingHost::Post& post)
{
    return post.id + L" " + (post.address1IsNull ? L"null" : post.address1) + L">" +
           (post.address2IsNull ? L"null" : post.address2) + (post.hasHolder ? L" holder" : L" -");
}

} // namespace

TEST(RCModuleSender, EmptyAddressesAndDataArePostedAsNullPointersAndMapsInKeyOrder)
{
    RecordingHost host;
    RCModuleSender sender(&host);
    sender.Send(L"", L"", L"ID", nullptr, nullptr, 0);
    sender.SendMap(L"", L"x", L"ID", {});
    sender.PostAddressNotice(L""); // nothing to notice
    sender.PostAddressNotice(L"peer");
    sender.PostModuleStop();
    std::vector<std::wstring> seen;
    for (const auto& post : host.posts)
        seen.push_back(Seen(post));
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"ID null>null -", L"ID null>x -",
                                               std::wstring(MSG_ADDRESS_NOTICE) + L" peer>null -",
                                               std::wstring(MSG_MODULE_STOP) + L" null>null -"}));

    RCModuleSender detached(nullptr);
    detached.PostModuleStop(); // no host: nothing happens, nothing breaks

    // A map holder writes its keys in ordinal order: upper case sorts first.
    sender.SendMap(L"x", L"y", L"ID", {{L"b", L"2"}, {L"a", L"1"}, {L"B", L"3"}});
    ASSERT_EQ(host.posts.size(), 5u);
    std::wstring written;
    for (const auto& call : host.posts[4].content)
        written += call.key + L"=" + call.text + L";";
    EXPECT_EQ(written, L"B=3;a=1;b=2;");
}

TEST(RCModuleMsgData, WritesHeaderOnlyWhenSetAndKeepsNoEmptyBlock)
{
    RCModuleMsgData holder;
    const uint8_t byte = 7;
    holder.SetData(&byte, 0);
    EXPECT_EQ(holder.data(), nullptr);

    holder.SetHeader(-5);
    holder.SetData(&byte, 1);
    KivoTest::RecordingMessage message;
    holder.WriteTo(&message);
    ASSERT_EQ(message.calls.size(), 2u);
    EXPECT_EQ(message.calls[0].key, L"SafeDataHeader");
    EXPECT_EQ(message.calls[0].bytes, (std::vector<uint8_t>{0xFB, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(message.calls[1].key, L"SafeData");
}
