// The connection object as peers see it: the network state posted by the
// monitor and answered on request, and the update relay, driven through the
// module's request routing. Records and identifiers are written out here.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "Src/Engine/RCSafeConnection.h"
#include "foundation/RCEvent.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCInternet.h"
#include "module/RCTrevoxModule.h"
#include "support/CallLog.h"
#include "support/LoopbackListener.h"
#include "support/RecordingHost.h"

using namespace RC;
using KivoTest::LoopbackListener;
using Post = KivoTest::RecordingHost::Post;
using Posts = std::vector<Post>;
using Bytes = std::vector<uint8_t>;
using Step = RCNetAptMonitor::Step;

namespace {

const wchar_t* const kNetState = L"085A95FC-A76D-4F45-8062-A204AA8CAE25";
const wchar_t* const kPayload = L"8E7C07EE-BB42-4870-876C-B4BF351203FF";
const wchar_t* const kAnswer = L"3D721A43-89D7-4C92-8DC3-00EB8965EBA8";
const wchar_t* const kForward = L"E3C1C6FA-8B4C-4046-B75D-47146EDBCF4C";
const wchar_t* const kPresence = L"C58FE465-6C5E-4D88-B632-F9F37D7A63C5";

struct Seen {
    std::wstring id, address1, address2;
    Bytes data;
    bool operator==(const Seen& o) const
    {
        return id == o.id && address1 == o.address1 && address2 == o.address2 && data == o.data;
    }
};

void PrintTo(const Seen& s, std::ostream* os)
{
    *os << testing::PrintToString(s.id) << " " << testing::PrintToString(s.address1) << "/"
        << testing::PrintToString(s.address2) << " " << testing::PrintToString(s.data);
}

// Every post with this identifier; the record must be "SafeData" alone.
std::vector<Seen> Of(const Posts& posts, const wchar_t* id)
{
    std::vector<Seen> seen;
    for (const Post& p : posts) {
        if (p.id != id)
            continue;
        Bytes data;
        for (const auto& call : p.content)
            data = call.key == L"SafeData" && p.content.size() == 1 ? call.bytes : Bytes{0xEE, 0xEE};
        seen.push_back({p.id, p.address1IsNull ? L"(null)" : p.address1, p.address2IsNull ? L"(null)" : p.address2, data});
    }
    return seen;
}

std::function<bool(const Posts&)> AtLeast(const wchar_t* id, size_t count)
{
    return [=](const Posts& posts) { return Of(posts, id).size() >= count; };
}

Seen Monitor(uint8_t connected) { return {kNetState, L"(null)", L"(null)", {connected}}; }
Seen Answer(const wchar_t* a1, const wchar_t* a2, uint8_t connected) { return {kNetState, a1, a2, {connected}}; }

class ConnectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, RCNetAptMonitor::kSettingsKey, 0, nullptr, 0,
                                                   KEY_SET_VALUE, nullptr, key.put(), nullptr));
        PointProbeAt(1);  // nothing listens there
        module.reset(new RCTrevoxModule());
        ASSERT_EQ(0, module->Attach(&host, L""));
        ::DeleteFileW(startedFile.c_str());
    }
    void TearDown() override
    {
        module.reset();
        ::RegDeleteValueW(key.get(), RCNetAptMonitor::kProbeHostValue);
    }
    void PointProbeAt(unsigned short port)
    {
        const std::wstring host = L"127.0.0.1:" + std::to_wstring(port);
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), RCNetAptMonitor::kProbeHostValue, 0, REG_SZ,
                                                  reinterpret_cast<const BYTE*>(host.c_str()),
                                                  static_cast<DWORD>((host.size() + 1) * sizeof(wchar_t))));
    }
    void Request(const wchar_t* id, const Bytes& data, const wchar_t* a1 = L"peer-1", const wchar_t* a2 = L"peer-2")
    {
        module->OnReceiveMessage(a1, a2, id, nullptr, data.empty() ? nullptr : data.data(),
                                 static_cast<uint32_t>(data.size()));
    }
    // An updater started by an earlier case lives a few seconds.
    static bool UpdaterGone()
    {
        for (int i = 0; i < 200; ++i) {
            unique_handle presence(::OpenEventW(SYNCHRONIZE, FALSE, kPresence));
            if (!presence)
                return true;
            ::Sleep(100);
        }
        return false;
    }

    unique_hkey key;
    KivoTest::RecordingHost host;
    // What the module's threads call into outlives the module.
    RCEvent reached{true};  // set by a hook when its step comes
    RCEvent gate{true};     // a hook waits for it
    KivoTest::CallLog wakes;  // the relay's wakes
    std::atomic<bool> stopReturned{false};
    std::atomic<int> lateCalls{0};  // from a module thread after its stop returned
    std::unique_ptr<RCTrevoxModule> module;
    const std::wstring startedFile = RCGetExeFolder() + L"KivoSafeUpdate-started.txt";
};

} // namespace

TEST_F(ConnectionTest, EachStartReportsItsFirstProbeAndRequestsGetTheStateSoFar)
{
    LoopbackListener listener;
    ASSERT_NE(listener.Port(), 0);
    PointProbeAt(listener.Port());
    gate.Set();
    RCSafeConnection::Timing timing;
    timing.monitor.step = [this](Step step) {
        if (step == Step::Probe)
            gate.Wait(60000);
    };
    module->Connection()->SetTiming(timing);

    module->OnStart();
    ASSERT_TRUE(host.WaitFor(AtLeast(kNetState, 1)));
    Request(L"52481B5F-E99D-4232-8924-74BCF21C28EF", {}, L"peer-1", L"peer-2");
    gate.Reset();
    module->OnStart();  // replaces the monitor; not connected until its first probe
    Request(L"52481B5F-E99D-4232-8924-74BCF21C28EF", {}, L"peer-3", L"peer-4");
    gate.Set();
    ASSERT_TRUE(host.WaitFor(AtLeast(kNetState, 4)));
    module->OnStop();
    Request(L"52481B5F-E99D-4232-8924-74BCF21C28EF", {}, L"peer-5", L"peer-6");
    listener.Close();
    module->OnStart();
    ASSERT_TRUE(host.WaitFor(AtLeast(kNetState, 6)));
    module->OnStop();

    const std::vector<Seen> expected = {Monitor(1), Answer(L"peer-1", L"peer-2", 1), Answer(L"peer-3", L"peer-4", 0),
                                        Monitor(1), Answer(L"peer-5", L"peer-6", 0), Monitor(0)};
    EXPECT_EQ(Of(host.Posts(), kNetState), expected);
}

TEST_F(ConnectionTest, WininetsStateAloneLeadsToAProbeAndAStopWhileSettlingEndsWithoutOne)
{
    DWORD flags = 0;
    ASSERT_NE(0, RCInternetGetConnectedState(&flags));  // Wine: connected, and no address change ever fires
    unsigned short port = LoopbackListener().Port();
    ASSERT_NE(port, 0);
    PointProbeAt(port);
    RCSafeConnection::Timing timing;
    timing.monitor.changeWaitMs = 20;
    timing.monitor.settleWaitMs = 20;
    timing.monitor.step = [this](Step step) {
        if (step == Step::Settle) {
            reached.Set();
            gate.Wait(60000);
        }
    };
    module->Connection()->SetTiming(timing);

    module->OnStart();  // first probe: nothing listens, while wininet says connected
    ASSERT_TRUE(reached.Wait(60000));
    LoopbackListener listener(port);
    ASSERT_EQ(listener.Port(), port);
    gate.Set();
    ASSERT_TRUE(host.WaitFor(AtLeast(kNetState, 2)));
    module->OnStop();
    listener.Close();

    reached.Reset();
    timing.monitor.settleWaitMs = 600000;
    module->Connection()->SetTiming(timing);
    module->OnStart();
    ASSERT_TRUE(reached.Wait(60000));
    LoopbackListener watcher(port);  // a probe would connect here
    ASSERT_EQ(watcher.Port(), port);
    module->OnStop();
    EXPECT_EQ(watcher.AcceptWaiting(), 0);
    EXPECT_EQ(Of(host.Posts(), kNetState), (std::vector<Seen>{Monitor(0), Monitor(1), Monitor(0)}));
}

TEST_F(ConnectionTest, APayloadStartsTheAbsentUpdaterAndAnswersAndForwardsGoToTheAnswerPair)
{
    ASSERT_TRUE(UpdaterGone());
    module->OnStart();  // the real clocks
    Request(kPayload, {0x10, 0x00, 0x20});
    ASSERT_TRUE(host.WaitFor(AtLeast(kPayload, 1)));
    Request(kAnswer, {0xA1});
    Request(kForward, {0xF1, 0xF2});
    module->OnStop();

    std::vector<char> started;
    for (int i = 0; i < 300 && !RCReadWholeFile(startedFile, started); ++i)
        ::Sleep(100);
    EXPECT_NE(std::string(started.data()).find("--type=default"), std::string::npos);
    const Posts posts = host.Posts();
    const std::vector<Seen> pushed = {{kPayload, L"D3570CBB-9C35-4429-86C6-C7CD4B934230",
                                       L"C3F54553-37D8-43F6-9B6A-B94882F36C91", {0x10, 0x00, 0x20}}};
    EXPECT_EQ(Of(posts, kPayload), pushed);
    const std::wstring a1 = L"26E7EF8E-BBF6-4CC0-8F89-6C230422F289", a2 = L"36D3FF08-C9B9-4DF6-947B-B076561AC362";
    EXPECT_EQ(Of(posts, kAnswer), (std::vector<Seen>{{kAnswer, a1, a2, {0xA1}}}));
    EXPECT_EQ(Of(posts, kForward), (std::vector<Seen>{{kForward, a1, a2, {0xF1, 0xF2}}}));
}

TEST_F(ConnectionTest, OnlyTheLatestPayloadIsPushedAgainOnEveryWakeUntilAnswered)
{
    ASSERT_TRUE(UpdaterGone());
    RCEvent presence(true);  // the test plays the running updater
    ASSERT_TRUE(presence.Create(kPresence, true));
    RCSafeConnection::Timing timing;
    timing.relay.wakeWaitMs = 20;
    timing.relay.presenceWaitMs = 600000;  // the first push waits for the test
    timing.relay.woke = [this] { wakes.Note("woke"); };
    module->Connection()->SetTiming(timing);
    module->OnStart();

    Request(kPayload, {0x01});
    Request(kPayload, {0x02, 0x02});
    presence.Set();
    ASSERT_TRUE(host.WaitFor(AtLeast(kPayload, 3)));
    Request(kAnswer, {});
    ASSERT_TRUE(wakes.WaitForCount(wakes.Count() + 1));  // a push under way when the answer came is over
    const size_t pushes = Of(host.Posts(), kPayload).size();
    ASSERT_TRUE(wakes.WaitForCount(wakes.Count() + 3));
    EXPECT_EQ(Of(host.Posts(), kPayload).size(), pushes);
    module->OnStop();

    const Seen latest = {kPayload, L"D3570CBB-9C35-4429-86C6-C7CD4B934230", L"C3F54553-37D8-43F6-9B6A-B94882F36C91",
                         {0x02, 0x02}};
    for (const Seen& seen : Of(host.Posts(), kPayload))
        EXPECT_EQ(seen, latest);
    EXPECT_EQ(::GetFileAttributesW(startedFile.c_str()), INVALID_FILE_ATTRIBUTES);  // nothing launched
}

TEST_F(ConnectionTest, StopStartStopLeavesNothingThatPosts)
{
    ASSERT_TRUE(UpdaterGone());
    RCEvent presence(true);
    ASSERT_TRUE(presence.CreateWithSecurity(kPresence, true, true));
    RCSafeConnection::Timing timing;
    timing.relay.wakeWaitMs = 10;
    timing.relay.woke = [this] { lateCalls += stopReturned ? 1 : 0; };
    timing.monitor.step = [this](Step) { lateCalls += stopReturned ? 1 : 0; };
    module->Connection()->SetTiming(timing);

    for (size_t round = 1; round <= 2; ++round) {
        stopReturned = false;
        module->OnStart();
        Request(kPayload, {static_cast<uint8_t>(round)});
        ASSERT_TRUE(host.WaitFor([&](const Posts& posts) {
            return Of(posts, kNetState).size() == round && Of(posts, kPayload).size() >= 2 * round;
        }));
        module->OnStop();
        stopReturned = true;
    }
    const size_t posted = host.Posts().size();
    module.reset();  // whatever might still run has ended
    EXPECT_EQ(host.Posts().size(), posted);
    EXPECT_EQ(lateCalls, 0);
}
