// Whole scan tasks as a peer on the reference bus drives them: RCTrevox.dll
// loaded through its exports, with the substitute engine beside this program.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "host/RCBus.h"
#include "host/RCModuleLibrary.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"

using namespace RC;
using KivoHost::RCBusMessage;

namespace {

const char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
using Values = std::vector<uint32_t>;

std::string ReadFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

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
    void __thiscall Subscribe(const wchar_t* id, DmAvCore::BusCallback callback) override { bus_->Subscribe(id, callback); }
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

class ScanTaskBusTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(library_.Load(L"RCTrevox.dll"));
        module_ = library_.QueryModule(0);
        ASSERT_NE(nullptr, module_);
        bus_.AddListener([this](const RCBusMessage& message) {
            std::lock_guard<std::mutex> guard(lock_);
            seen_.push_back(message);
            changed_.notify_all();
        });
        gate_.reset(new GateHost(bus_.HostFor(module_)));
        module_->Attach(gate_.get(), L"");
        bus_.Post(MSG_MODULE_START, L"", L"");
    }
    void TearDown() override
    {
        gate_->Set(GateHost::kOpen);
        bus_.Post(MSG_MODULE_STOP, L"", L"");
        bus_.WaitIdle();
        module_->Detach();
        library_.ReleaseModule(0, module_);
    }

    template <class Record>
    void Request(const std::wstring& id, const Record& record, const wchar_t* address1 = L"peer1",
                 const wchar_t* address2 = L"peer2")
    {
        const std::vector<uint8_t> data = RCEncodeRecord(record);
        bus_.Post(id, address1, address2, &data);
    }
    // Not subscribed by the module: a peer hands it over directly.
    void CancelOperate(const std::wstring& taskId)
    {
        const std::vector<uint8_t> data = RCEncodeRecord(TaskCancelOperateRequest{taskId});
        module_->OnReceiveMessage(L"peer1", L"peer2", REQ_TASK_CANCEL_OPERATE, nullptr, data.data(),
                                  static_cast<uint32_t>(data.size()));
    }
    // The messages of one identifier seen so far, decoded.
    template <class Record>
    std::vector<Record> Seen(const std::wstring& id, std::vector<RCBusMessage>* messages = nullptr)
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<Record> records;
        for (const RCBusMessage& message : seen_) {
            if (message.id() != id)
                continue;
            records.emplace_back();
            const std::vector<uint8_t>* data = message.binary(L"SafeData");
            EXPECT_TRUE(data != nullptr && RCDecodeRecord(records.back(), *data));
            if (messages != nullptr)
                messages->push_back(message);
        }
        return records;
    }
    // Bounded, so that a task that hangs fails its test.
    template <class Record, class Done>
    bool WaitFor(const std::wstring& id, Done done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (!done(Seen<Record>(id))) {
            std::unique_lock<std::mutex> guard(lock_);
            if (changed_.wait_until(guard, deadline) == std::cv_status::timeout)
                return false;
        }
        return true;
    }
    bool WaitForOperationEnds(size_t count)
    {
        return WaitFor<OperateStateEvent>(EVT_OPERATE_STATE, [&](const std::vector<OperateStateEvent>& all) {
            return std::count_if(all.begin(), all.end(), [](auto& e) { return e.phase == 4; }) >= long(count);
        });
    }
    // The operate events since the last call, as (kind, value, value).
    std::vector<Values> TakeOperation()
    {
        std::vector<Values> steps;
        std::lock_guard<std::mutex> guard(lock_);
        for (const RCBusMessage& message : seen_) {
            const std::vector<uint8_t>* data = message.binary(L"SafeData");
            OperateStateEvent state;
            OperateItemEvent item;
            OperateProgressEvent progress;
            if (message.id() == EVT_OPERATE_STATE && RCDecodeRecord(state, *data))
                steps.push_back({0, state.phase, state.operation});
            else if (message.id() == EVT_OPERATE_ITEM && RCDecodeRecord(item, *data))
                steps.push_back({item.queryId, item.outcome, item.operation});
            else if (message.id() == EVT_OPERATE_PROGRESS && RCDecodeRecord(progress, *data))
                steps.push_back({100, progress.processed, progress.total});
        }
        seen_.clear();
        return steps;
    }

    RC::test::ScratchDir folder_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<RCBusMessage> seen_;
    KivoHost::RCModuleLibrary library_;
    KivoHost::RCBus bus_;
    DmAvCore::IVBusModule* module_ = nullptr;
    std::unique_ptr<GateHost> gate_;
};

} // namespace

TEST_F(ScanTaskBusTest, CustomScanReportsThreatsThatCanBeQuarantinedRestoredAndForwarded)
{
    const std::wstring first = folder_.Write(L"first.com", kEicar);
    const std::wstring second = folder_.Write(L"second.com", kEicar);
    folder_.Write(L"clean.exe", "MZ nothing to see");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", 3, {folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 0});
    ASSERT_TRUE(WaitFor<ScanStateEvent>(EVT_SCAN_STATE, [](const auto& all) { return !all.empty() && all.back().state == 4; }));
    bus_.WaitIdle();

    const auto setup = Seen<TaskSetupDoneEvent>(EVT_TASK_SETUP_DONE);
    ASSERT_EQ(1u, setup.size());
    ASSERT_EQ(1u, setup[0].items.size());
    EXPECT_EQ(26u, setup[0].items[0].showType);
    EXPECT_EQ(L"自定义扫描项", setup[0].items[0].displayName);
    const auto result = Seen<TaskCommandResultEvent>(EVT_TASK_COMMAND_RESULT);
    ASSERT_EQ(1u, result.size());
    EXPECT_TRUE(result[0].result);
    // The command's own all-zero state comes before the run's.
    Values states;
    for (const ScanStateEvent& state : Seen<ScanStateEvent>(EVT_SCAN_STATE))
        states.push_back(state.state);
    EXPECT_EQ(Values({0, 1, 4}), states);
    const ScanStateEvent end = Seen<ScanStateEvent>(EVT_SCAN_STATE).back();
    EXPECT_EQ(Values({3, 2, 0}), Values({end.filesFound, end.level3Found, end.level2Found}));
    EXPECT_FALSE(Seen<ScanProgressEvent>(EVT_SCAN_PROGRESS).empty());
    EXPECT_FALSE(Seen<ItemProgressEvent>(EVT_ITEM_PROGRESS).empty());
    const auto items = Seen<ItemStatusEvent>(EVT_ITEM_STATUS);
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(Values({26, 3, 3, 0, 2}),
              Values({items.back().showType, items.back().status, items.back().enumerated, items.back().level2,
                      items.back().level3}));

    std::vector<RCBusMessage> threatMessages;
    const auto threats = Seen<ThreatFoundEvent>(EVT_THREAT_FOUND, &threatMessages);
    ASSERT_EQ(2u, threats.size());
    std::map<std::wstring, uint32_t> ids;
    for (const ThreatFoundEvent& threat : threats) {
        ids[threat.filePath] = threat.queryId;
        EXPECT_EQ(L"T", threat.taskId);
        EXPECT_EQ(L"自定义扫描项发现木马:Eicar-Test-Signature", threat.description);
        EXPECT_EQ(L"木马文件通常利用系统漏洞，达到破坏系统，盗取账号，篡改文件的目的，请您立即处理", threat.advice);
        EXPECT_EQ(L"Eicar-Test-Signature", threat.threatName);
        EXPECT_EQ(Values({26, 0, 68, 2, 1}), Values({threat.showType, threat.resultValue424, threat.resultValue428,
                                                     threat.categoryCode, threat.actionCode}));
        EXPECT_EQ(L"木马", threat.categoryName);
        EXPECT_EQ(L"隔离文件", threat.actionName);
    }
    ASSERT_EQ(2u, ids.size());
    EXPECT_EQ(L"peer1", threatMessages[0].address1());
    EXPECT_EQ(L"peer2", threatMessages[0].address2());
    const uint32_t firstId = ids[first], secondId = ids[second];
    TakeOperation();

    // Quarantine both, cancelled while the worker is between the two.
    gate_->Set(GateHost::kArmed);
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 1, {firstId, secondId}});
    ASSERT_TRUE(gate_->WaitHolding());
    bus_.WaitIdle();
    CancelOperate(L"T");
    gate_->Set(GateHost::kOpen);
    ASSERT_TRUE(WaitForOperationEnds(1));
    bus_.WaitIdle();
    EXPECT_EQ(std::vector<Values>({{0, 0, 1}, {firstId, 0, 1}, {100, 1, 2}, {firstId, 2, 1}, {0, 4, 1}}),
              TakeOperation());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(first.c_str()));
    EXPECT_EQ(kEicar, ReadFile(second));

    // Restored byte for byte from the quarantine.
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 4, {firstId, 999}});
    ASSERT_TRUE(WaitForOperationEnds(1));
    bus_.WaitIdle();
    EXPECT_EQ(std::vector<Values>({{0, 0, 4}, {firstId, 0, 4}, {100, 1, 2}, {firstId, 2, 4}, {0, 4, 4}}),
              TakeOperation());
    EXPECT_EQ(kEicar, ReadFile(first));

    // Handed to the engine for analysis; no operation events.
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 6, {secondId}});
    bus_.WaitIdle();
    EXPECT_TRUE(TakeOperation().empty());
    const std::string forwarded = ReadFile(RCPathJoin(RCGetExeFolder(), L"Quentor-forwarded.txt"));
    // Each line names the task (the engine argument) and the path.
    const std::string folder(folder_.Path().begin(), folder_.Path().end());
    EXPECT_NE(std::string::npos, forwarded.find("\tT\t" + folder + "\\second.com\r\n"));
    EXPECT_EQ(std::string::npos, forwarded.find(folder + "\\first.com"));
}

TEST_F(ScanTaskBusTest, CommandsAnswerTheirOwnAddressesAndTasksAreKeptByExactId)
{
    const auto replies = [&] {
        std::vector<RCBusMessage> messages;
        std::vector<std::wstring> texts;
        const auto records = Seen<TaskCommandResultEvent>(EVT_TASK_COMMAND_RESULT, &messages);
        for (size_t i = 0; i < records.size(); ++i)
            texts.push_back(records[i].taskId + L" " + std::to_wstring(records[i].command) + L" " +
                            std::to_wstring(records[i].result) + L" " + messages[i].address1() + L" " +
                            messages[i].address2());
        return texts;
    };
    const auto setups = [&] {
        std::vector<RCBusMessage> messages;
        std::vector<std::wstring> texts;
        const auto records = Seen<TaskSetupDoneEvent>(EVT_TASK_SETUP_DONE, &messages);
        for (size_t i = 0; i < records.size(); ++i)
            texts.push_back(records[i].taskId + L" " + std::to_wstring(records[i].items.size()) + L" " +
                            messages[i].address1());
        return texts;
    };

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
    EXPECT_EQ(std::vector<std::wstring>({L"T 1 peer1", L"T 0 peer1", L"t 1 lower1"}), setups());
    EXPECT_EQ(std::vector<std::wstring>({L"T 7 0 ask1 ask2", L"t 2 0 ask1 ask2", L"T 1 1  ask2"}), replies());

    // A module stop releases the controllers: commands answer false until a
    // setup gives the task a fresh one.
    TakeOperation();
    bus_.Post(MSG_MODULE_STOP, L"", L"");
    bus_.Post(MSG_MODULE_START, L"", L"");
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 1});
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", 1, {1}});
    bus_.WaitIdle();
    CancelOperate(L"T");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", 3, {folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", 1});
    bus_.WaitIdle();
    EXPECT_EQ(std::vector<std::wstring>({L"T 1 0 peer1 peer2", L"T 1 1 peer1 peer2"}), replies());
    EXPECT_EQ(std::vector<std::wstring>({L"T 1 peer1"}), setups());
    EXPECT_TRUE(TakeOperation().empty());
}
