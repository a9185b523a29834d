// Whole scan tasks as a peer on the reference bus drives them: RCTrevox.dll
// loaded through its exports, with the substitute engine beside this program.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "Src/Engine/BusModuleTest.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "support/TestData.h"

using namespace RC;
using KivoHost::RCBusMessage;
using namespace KivoTest;

namespace {

using Values = std::vector<uint32_t>;

// The module's host: the bus's own, except that it can hold the module's
// first operate-progress post until the test lets it go, so that a request
// can arrive while the trojan list's worker is between two threats.
class GateHost final : public DmAvCore::IVBusHost {
public:
    explicit GateHost(DmAvCore::IVBusHost* bus) : bus_(bus) {}
    void __thiscall Reserved0() override {}
    void __thiscall Reserved1() override {}
    void __thiscall Reserved2() override {}
    void __thiscall Reserved3() override {}
    void __thiscall Reserved4() override {}
    void __thiscall Subscribe(const wchar_t* id, DmAvCore::BusCallback callback) override
    {
        bus_->Subscribe(id, callback);
    }
    void __thiscall Unsubscribe(const wchar_t* id) override { bus_->Unsubscribe(id); }
    void __thiscall PostMessage(const wchar_t* id, DmAvCore::IVBusMessageHolder* holder, const wchar_t* address2,
                                const wchar_t* address1) override
    {
        if (EVT_OPERATE_PROGRESS == id) {
            std::unique_lock<std::mutex> guard(lock_);
            if (gate_ == kArmed) {
                gate_ = kHolding;
                changed_.notify_all();
                changed_.wait(guard, [&] { return gate_ == kOpen; });
            }
        }
        bus_->PostMessage(id, holder, address2, address1);
    }
    void Set(int gate)
    {
        std::lock_guard<std::mutex> guard(lock_);
        gate_ = gate;
        changed_.notify_all();
    }
    bool WaitHolding()
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(90), [&] { return gate_ == kHolding; });
    }
    enum { kOpen, kArmed, kHolding };

private:
    DmAvCore::IVBusHost* bus_;
    std::mutex lock_;
    std::condition_variable changed_;
    int gate_ = kOpen;
};

class ScanTaskBusTest : public KivoTest::BusModuleTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LoadModule());
        gate_.reset(new GateHost(bus_.HostFor(module_)));
        module_->Attach(gate_.get(), L"");
        bus_.Post(MSG_MODULE_START, L"", L"");
    }
    void TearDown() override
    {
        gate_->Set(GateHost::kOpen);
        StopAndRelease();
    }

    template <class Record>
    void Request(const std::wstring& id, const Record& record, const wchar_t* address1 = L"peer1",
                 const wchar_t* address2 = L"peer2")
    {
        const std::vector<uint8_t> data = RCEncodeRecord(record);
        bus_.Post(id, address1, address2, &data);
    }
    // Not subscribed by the module: a peer hands it over directly, between
    // two deliveries of the bus.
    void CancelOperate(const std::wstring& taskId)
    {
        bus_.WaitIdle();
        const std::vector<uint8_t> data = RCEncodeRecord(TaskCancelOperateRequest{taskId});
        module_->OnReceiveMessage(L"", L"", REQ_TASK_CANCEL_OPERATE, nullptr, data.data(),
                                  static_cast<uint32_t>(data.size()));
    }
    // The messages of one identifier so far, decoded.
    template <class Record>
    std::vector<Record> Seen(const std::wstring& id)
    {
        std::vector<Record> records;
        for (const RCBusMessage& message : Messages(id)) {
            records.emplace_back();
            EXPECT_TRUE(RCDecodeRecord(records.back(), *message.binary(L"SafeData")));
        }
        return records;
    }
    // The same as "address1|address2|SafeData in hex".
    std::vector<std::string> Posted(const std::wstring& id)
    {
        std::vector<std::string> texts;
        for (const RCBusMessage& message : Messages(id)) {
            std::string text(message.address1().begin(), message.address1().end());
            text += "|" + std::string(message.address2().begin(), message.address2().end()) + "|";
            texts.push_back(text + Hex(*message.binary(L"SafeData")));
        }
        return texts;
    }
    std::vector<RCBusMessage> Messages(const std::wstring& id)
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<RCBusMessage> messages;
        std::copy_if(seen_.begin(), seen_.end(), std::back_inserter(messages),
                     [&](const RCBusMessage& message) { return message.id() == id; });
        return messages;
    }
    void Forget()
    {
        std::lock_guard<std::mutex> guard(lock_);
        seen_.clear();
    }
    // Bounded, so that a task that hangs fails its test.
    bool WaitUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!done()) {
            std::unique_lock<std::mutex> guard(lock_);
            if (changed_.wait_until(guard, deadline) == std::cv_status::timeout)
                return false;
        }
        return true;
    }
    // The operation's events as {0, phase, operation}, {query id, outcome,
    // operation} and {100, processed, total}, once it has ended.
    std::vector<Values> Operation()
    {
        const auto ended = [&] { return Seen<OperateStateEvent>(EVT_OPERATE_STATE).size() == 2; };
        EXPECT_TRUE(WaitUntil(ended));
        bus_.WaitIdle();
        std::vector<Values> steps;
        std::lock_guard<std::mutex> guard(lock_);
        for (const RCBusMessage& message : seen_) {
            const std::vector<uint8_t>& data = *message.binary(L"SafeData");
            OperateStateEvent state;
            OperateItemEvent item;
            OperateProgressEvent progress;
            if (message.id() == EVT_OPERATE_STATE && RCDecodeRecord(state, data))
                steps.push_back({0, state.phase, state.operation});
            else if (message.id() == EVT_OPERATE_ITEM && RCDecodeRecord(item, data))
                steps.push_back({item.queryId, item.outcome, item.operation});
            else if (message.id() == EVT_OPERATE_PROGRESS && RCDecodeRecord(progress, data))
                steps.push_back({100, progress.processed, progress.total});
        }
        seen_.clear();
        return steps;
    }

    RC::test::ScratchDir folder_;
    std::unique_ptr<GateHost> gate_;
};

// Expected texts of Posted, written with blanks between the fields.
std::vector<std::string> Texts(std::initializer_list<std::string> texts)
{
    std::vector<std::string> joined;
    for (const std::string& text : texts)
        joined.push_back(NoBlanks(text));
    return joined;
}

const char kCustomItem[] = "01000000 1a000000 06000000 ea819a5b494e6b62cf637998";  // 26, the custom item's name

} // namespace

TEST_F(ScanTaskBusTest, CustomScanReportsThreatsThatCanBeQuarantinedRestoredAndForwarded)
{
    const std::wstring first = folder_.Write(L"first.com", kEicar);
    const std::wstring second = folder_.Write(L"second.com", kEicar);
    folder_.Write(L"clean.exe", "MZ nothing to see");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", 3, {folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 0});
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<ScanStateEvent> states = Seen<ScanStateEvent>(EVT_SCAN_STATE);
        return !states.empty() && states.back().state == 4;
    }));
    bus_.WaitIdle();

    EXPECT_EQ(Texts({std::string("peer1|peer2|01000000 5400 ") + kCustomItem}), Posted(EVT_TASK_SETUP_DONE));
    EXPECT_EQ(Texts({"peer1|peer2|01000000 5400 00000000 01"}), Posted(EVT_TASK_COMMAND_RESULT));
    // The command's own all-zero state comes first; three files, two threats.
    const std::vector<std::string> states = Posted(EVT_SCAN_STATE);
    ASSERT_EQ(3u, states.size());
    EXPECT_EQ(Texts({"peer1|peer2|01000000 5400 00000000 00000000 00000000 00000000",
                     "peer1|peer2|01000000 5400 04000000 03000000 02000000 00000000"}),
              std::vector<std::string>({states[0], states[2]}));
    EXPECT_EQ(1u, Seen<ScanStateEvent>(EVT_SCAN_STATE).at(1).state);
    EXPECT_EQ(Texts({"peer1|peer2|01000000 5400 1a000000 03000000 03000000 00000000 02000000"}).at(0),
              Posted(EVT_ITEM_STATUS).back());
    EXPECT_FALSE(Posted(EVT_SCAN_PROGRESS).empty());
    EXPECT_FALSE(Posted(EVT_ITEM_PROGRESS).empty());

    std::map<std::wstring, uint32_t> ids;
    for (const ThreatFoundEvent& threat : Seen<ThreatFoundEvent>(EVT_THREAT_FOUND)) {
        ids[threat.filePath] = threat.queryId;
        EXPECT_EQ(L"自定义扫描项发现木马:Eicar-Test-Signature|"
                  L"木马文件通常利用系统漏洞，达到破坏系统，盗取账号，篡改文件的目的，请您立即处理|"
                  L"Eicar-Test-Signature|木马|隔离文件",
                  threat.description + L"|" + threat.advice + L"|" + threat.threatName + L"|" + threat.categoryName +
                      L"|" + threat.actionName);
        EXPECT_EQ(Values({26, 0, 68, 2, 1}), Values({threat.showType, threat.resultValue424, threat.resultValue428,
                                                     threat.categoryCode, threat.actionCode}));
    }
    ASSERT_EQ(2u, ids.size());
    const uint32_t firstId = ids[first], secondId = ids[second];
    Forget();

    // Quarantine both, cancelled while the worker is between the two.
    gate_->Set(GateHost::kArmed);
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 1, {firstId, secondId}});
    ASSERT_TRUE(gate_->WaitHolding());
    CancelOperate(L"T");
    gate_->Set(GateHost::kOpen);
    EXPECT_EQ(std::vector<Values>({{0, 0, 1}, {firstId, 0, 1}, {100, 1, 2}, {firstId, 2, 1}, {0, 4, 1}}), Operation());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(first.c_str()));
    EXPECT_EQ(kEicar, ReadAll(second));

    // Restored byte for byte from the quarantine; an id never reported is skipped.
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 4, {firstId, 999}});
    EXPECT_EQ(std::vector<Values>({{0, 0, 4}, {firstId, 0, 4}, {100, 1, 2}, {firstId, 2, 4}, {0, 4, 4}}), Operation());
    EXPECT_EQ(kEicar, ReadAll(first));

    // Handed to the engine for analysis, with the task as its argument.
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 6, {secondId}});
    bus_.WaitIdle();
    EXPECT_TRUE(Messages(EVT_OPERATE_STATE).empty());
    const std::string forwarded = ReadAll(RCPathJoin(RCGetExeFolder(), L"Quentor-forwarded.txt"));
    const std::string folder(folder_.Path().begin(), folder_.Path().end());
    EXPECT_NE(std::string::npos, forwarded.find("\tT\t" + folder + "\\second.com\r\n"));
    EXPECT_EQ(std::string::npos, forwarded.find(folder + "\\first.com"));
}

TEST_F(ScanTaskBusTest, CommandsAnswerTheirOwnAddressesAndTasksAreKeptByExactId)
{
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 3});  // no such task yet: no reply
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", 3, {folder_.Path()}});
    // The same task again, from elsewhere: its events keep the first addresses.
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", 99, {}}, L"other1", L"other2");
    // Another letter case is another task.
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"t", 3, {folder_.Path()}}, L"lower1", L"lower2");
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 7}, L"ask1", L"ask2");
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"t", 2}, L"ask1", L"ask2");  // not running: false
    Request(REQ_TASK_COMMAND, TaskCancelOperateRequest{L"T"}, L"ask1", L"ask2");  // no command field
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 1}, L"", L"ask2");
    bus_.WaitIdle();
    EXPECT_EQ(Texts({std::string("peer1|peer2|01000000 5400 ") + kCustomItem, "peer1|peer2|01000000 5400 00000000",
                     std::string("lower1|lower2|01000000 7400 ") + kCustomItem}),
              Posted(EVT_TASK_SETUP_DONE));
    EXPECT_EQ(Texts({"ask1|ask2|01000000 5400 07000000 00", "ask1|ask2|01000000 7400 02000000 00",
                     "|ask2|01000000 5400 01000000 01"}),
              Posted(EVT_TASK_COMMAND_RESULT));

    // A module stop releases the controllers: commands answer false and
    // operations do nothing until a setup gives the task a fresh one.
    bus_.Post(MSG_MODULE_STOP, L"", L"");
    bus_.Post(MSG_MODULE_START, L"", L"");
    bus_.WaitIdle();
    Forget();
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 1});
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 1, {1}});
    CancelOperate(L"T");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", 3, {folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 1});
    bus_.WaitIdle();
    EXPECT_EQ(Texts({"peer1|peer2|01000000 5400 01000000 00", "peer1|peer2|01000000 5400 01000000 01"}),
              Posted(EVT_TASK_COMMAND_RESULT));
    EXPECT_EQ(Texts({std::string("peer1|peer2|01000000 5400 ") + kCustomItem}), Posted(EVT_TASK_SETUP_DONE));
    EXPECT_TRUE(Messages(EVT_OPERATE_STATE).empty());
}
