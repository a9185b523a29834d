// The connection object as peers see it: the network state posted by the
// monitor and answered on request, and the update relay, driven through the
// module's request routing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Src/Engine/RCSafeConnection.h"
#include "Src/Engine/RCUpdateRelay.h"
#include "foundation/RCEvent.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCInternet.h"
#include "module/RCBusIds.h"
#include "module/RCTrevoxModule.h"
#include "support/CallLog.h"
#include "support/LoopbackListener.h"
#include "support/RecordingHost.h"
#include "support/TestData.h"

using namespace RC;
using KivoTest::LoopbackListener;
using Posts = std::vector<KivoTest::RecordingHost::Post>;
using Texts = std::vector<std::wstring>;
using Step = RCNetAptMonitor::Step;

namespace {

const std::wstring kToUpdater = std::wstring(UPDATER_ADDRESS1) + L"|" + UPDATER_ADDRESS2 + L"|";
const std::wstring kToAnswerPair = std::wstring(ANSWER_ADDRESS1) + L"|" + ANSWER_ADDRESS2 + L"|";

// Every post with this identifier as "address1|address2|SafeData in hex", a
// null address as "-"; a post that is not "SafeData" alone shows as "?".
Texts Of(const Posts& posts, const std::wstring& id)
{
    Texts seen;
    for (const KivoTest::RecordingHost::Post& p : posts) {
        const bool record = p.content.size() == 1 && p.content[0].key == L"SafeData";
        const std::string hex = record ? KivoTest::Hex(p.content[0].bytes) : "?";
        if (p.id == id)
            seen.push_back((p.address1IsNull ? L"-" : p.address1) + L"|" + (p.address2IsNull ? L"-" : p.address2) +
                           L"|" + std::wstring(hex.begin(), hex.end()));
    }
    return seen;
}

std::function<bool(const Posts&)> AtLeast(const std::wstring& id, size_t count)
{
    return [=](const Posts& posts) { return Of(posts, id).size() >= count; };
}

class ConnectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, RCNetAptMonitor::kSettingsKey, 0, nullptr, 0,
                                                   KEY_SET_VALUE, nullptr, key.put(), nullptr));
        PointProbeAt(1); // nothing listens there
        module.reset(new RCTrevoxModule());
        ASSERT_EQ(0, module->Attach(&host, L""));
        ::DeleteFileW(startedFile.c_str());
        // An updater started by an earlier case lives a few seconds.
        for (int i = 0; i < 200 && unique_handle(::OpenEventW(SYNCHRONIZE, FALSE, UPDATER_PRESENCE_EVENT)); ++i)
            ::Sleep(100);
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
    void Request(const std::wstring& id, const std::vector<uint8_t>& data, const wchar_t* a1 = L"peer-1",
                 const wchar_t* a2 = L"peer-2")
    {
        module->OnReceiveMessage(a1, a2, id, nullptr, data.empty() ? nullptr : data.data(),
                                 static_cast<uint32_t>(data.size()));
    }
    unique_hkey key;
    KivoTest::RecordingHost host;
    // What the module's threads call into outlives the module.
    RCEvent reached{true};                      // set by a hook when its step comes
    RCEvent gate{true};                         // a hook waits for it
    RCEvent relayGate{true};                    // the relay's hook waits for it
    KivoTest::CallLog wakes;                    // the relay's wakes
    KivoTest::CallLog arms;                     // the monitor's requests for the next address change
    std::atomic<HANDLE> addressChange{nullptr}; // what such a request signals
    std::atomic<bool> stopReturned{false};
    std::atomic<int> lateCalls{0}; // from a module thread after its stop returned
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
    ASSERT_TRUE(host.WaitFor(AtLeast(EVT_NET_STATE, 1)));
    Request(REQ_NET_STATE, {}, L"peer-1", L"peer-2");
    gate.Reset();
    module->OnStart(); // replaces the monitor; not connected until its first probe
    Request(REQ_NET_STATE, {}, L"peer-3", L"peer-4");
    gate.Set();
    ASSERT_TRUE(host.WaitFor(AtLeast(EVT_NET_STATE, 4)));
    module->OnStop();
    Request(REQ_NET_STATE, {}, L"peer-5", L"peer-6");
    EXPECT_EQ(Texts({L"-|-|01", L"peer-1|peer-2|01", L"peer-3|peer-4|00", L"-|-|01", L"peer-5|peer-6|00"}),
              Of(host.Posts(), EVT_NET_STATE));
}

TEST_F(ConnectionTest, WininetsStateAloneLeadsToAProbeAndAStopWhileSettlingEndsWithoutOne)
{
    DWORD flags = 0;
    ASSERT_NE(0, RCInternetGetConnectedState(&flags)); // Wine: connected, and no address change ever fires
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

    module->OnStart(); // first probe: nothing listens, while wininet says connected
    ASSERT_TRUE(reached.Wait(60000));
    LoopbackListener listener(port);
    ASSERT_EQ(listener.Port(), port);
    gate.Set();
    ASSERT_TRUE(host.WaitFor(AtLeast(EVT_NET_STATE, 2)));
    module->OnStop();
    listener.Close();

    reached.Reset();
    timing.monitor.settleWaitMs = 600000;
    module->Connection()->SetTiming(timing);
    module->OnStart();
    ASSERT_TRUE(reached.Wait(60000));
    LoopbackListener watcher(port); // a probe would connect here
    ASSERT_EQ(watcher.Port(), port);
    module->OnStop();
    EXPECT_EQ(watcher.AcceptWaiting(), 0);
    EXPECT_EQ(Texts({L"-|-|00", L"-|-|01", L"-|-|00"}), Of(host.Posts(), EVT_NET_STATE));
}

// The host may free the library as soon as the module is released: a stop
// waits for a probe that hangs, well past the 10 s a give-up would allow,
// and for the relay's thread, whichever of the two it stops first.
TEST_F(ConnectionTest, AStopWaitsForAProbeThatHangsAndForTheRelaysThread)
{
    RCSafeConnection::Timing timing;
    timing.monitor.step = [this](Step step) {
        if (step == Step::Probe)
            reached.Set(), gate.Wait(600000);
    };
    timing.relay.wakeWaitMs = 20;
    timing.relay.woke = [this] { wakes.Note("woke"), relayGate.Wait(600000); };
    module->Connection()->SetTiming(timing);
    module->OnStart();
    ASSERT_TRUE(reached.Wait(60000));
    ASSERT_TRUE(wakes.WaitForCount(1));
    RCEvent stopped(true);
    std::thread stopper([&] { module->OnStop(), stopped.Set(); });
    EXPECT_FALSE(stopped.Wait(12000)) << "the stop returned while the probe still ran";
    gate.Set();
    EXPECT_FALSE(stopped.Wait(2000)) << "the stop returned while the relay's thread was still in its hook";
    relayGate.Set();
    stopper.join();
}

// Every address change, once handled, is followed by a request for the next.
TEST_F(ConnectionTest, TheMonitorAsksForTheNextAddressChangeAfterEachOne)
{
    RCSafeConnection::Timing timing;
    timing.monitor.changeWaitMs = INFINITE;
    timing.monitor.settleWaitMs = 0;
    timing.monitor.notifyAddrChange = [this](HANDLE*, OVERLAPPED* overlapped) {
        addressChange = overlapped->hEvent;
        arms.Note("arm");
        return static_cast<DWORD>(ERROR_IO_PENDING);
    };
    module->Connection()->SetTiming(timing);
    module->OnStart();
    for (size_t changes = 0; changes < 2; ++changes) {
        ASSERT_TRUE(arms.WaitForCount(changes + 1));
        ::SetEvent(addressChange);
    }
    EXPECT_TRUE(arms.WaitForCount(3));
    module->OnStop();
}

TEST_F(ConnectionTest, APayloadStartsTheAbsentUpdaterAndAnswersAndForwardsGoToTheAnswerPair)
{
    module->OnStart(); // the real clocks
    Request(REQ_UPDATE_PAYLOAD, {0x10, 0x00, 0x20});
    ASSERT_TRUE(host.WaitFor(AtLeast(REQ_UPDATE_PAYLOAD, 1)));
    Request(REQ_UPDATE_ANSWER, {0xA1});
    Request(REQ_UPDATE_FORWARD, {0xF1, 0xF2});
    module->OnStop();

    std::vector<char> started;
    for (int i = 0; i < 300 && !RCReadWholeFile(startedFile, started); ++i)
        ::Sleep(100);
    EXPECT_NE(std::string(started.data()).find("--type=default"), std::string::npos);
    const Posts posts = host.Posts();
    EXPECT_EQ(Texts({kToUpdater + L"100020"}), Of(posts, REQ_UPDATE_PAYLOAD));
    EXPECT_EQ(Texts({kToAnswerPair + L"a1"}), Of(posts, REQ_UPDATE_ANSWER));
    EXPECT_EQ(Texts({kToAnswerPair + L"f1f2"}), Of(posts, REQ_UPDATE_FORWARD));
    // Never by a bare name, which would be looked for along PATH.
    EXPECT_EQ(L"C:\\Kivo\\KivoSafeUpdate.exe", RCUpdateRelay::UpdaterPath(L"C:\\Kivo\\"));
    EXPECT_EQ(L"", RCUpdateRelay::UpdaterPath(L""));
    EXPECT_EQ(L"", RCUpdateRelay::UpdaterPath(L"Kivo\\"));
}

// Pushed again on every wake until answered, only the latest payload; a
// stop leaves no thread that posts, and a new start relays again.
TEST_F(ConnectionTest, OnlyTheLatestPayloadIsPushedUntilAnsweredAndAStopLeavesNothingThatPosts)
{
    RCEvent presence(true); // the test plays the running updater
    ASSERT_TRUE(presence.Create(UPDATER_PRESENCE_EVENT, true));
    RCSafeConnection::Timing timing;
    timing.relay.wakeWaitMs = 20;
    timing.relay.presenceWaitMs = 600000; // the first push waits for the test
    timing.relay.woke = [this] { wakes.Note("woke"), lateCalls += stopReturned ? 1 : 0; };
    timing.monitor.step = [this](Step) { lateCalls += stopReturned ? 1 : 0; };
    module->Connection()->SetTiming(timing);
    module->OnStart();

    Request(REQ_UPDATE_PAYLOAD, {0x01});
    Request(REQ_UPDATE_PAYLOAD, {0x02, 0x02});
    presence.Set();
    ASSERT_TRUE(host.WaitFor(AtLeast(REQ_UPDATE_PAYLOAD, 3)));
    Request(REQ_UPDATE_FORWARD, {0xF1}); // no answer: the pushes go on (one may be under way)
    ASSERT_TRUE(host.WaitFor(AtLeast(REQ_UPDATE_PAYLOAD, Of(host.Posts(), REQ_UPDATE_PAYLOAD).size() + 2)));
    Request(REQ_UPDATE_ANSWER, {});
    ASSERT_TRUE(wakes.WaitForCount(wakes.Count() + 1)); // a push under way when the answer came is over
    const Texts pushed = Of(host.Posts(), REQ_UPDATE_PAYLOAD);
    ASSERT_TRUE(wakes.WaitForCount(wakes.Count() + 3));
    EXPECT_EQ(pushed, Of(host.Posts(), REQ_UPDATE_PAYLOAD));
    EXPECT_EQ(Texts(pushed.size(), kToUpdater + L"0202"), pushed);
    module->OnStop();

    module->OnStart();
    Request(REQ_UPDATE_PAYLOAD, {0x03});
    ASSERT_TRUE(host.WaitFor([](const Posts& p) { return Of(p, REQ_UPDATE_PAYLOAD).back() == kToUpdater + L"03"; }));
    module->OnStop();
    stopReturned = true;
    const size_t posted = host.Posts().size();
    module.reset(); // whatever might still run has ended
    EXPECT_EQ(host.Posts().size(), posted);
    EXPECT_EQ(lateCalls, 0);
    EXPECT_EQ(::GetFileAttributesW(startedFile.c_str()), INVALID_FILE_ATTRIBUTES); // nothing launched
}
