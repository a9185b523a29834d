// Whole scan tasks as peers on the reference bus drive them, well-behaved or
// hostile: RCTrevox.dll loaded through its exports, with the substitute
// engine beside this program.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "host/RCBus.h"
#include "host/RCModuleLibrary.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "support/BusCodePrinter.h"
#include "support/TestData.h"

using namespace RC;
using namespace KivoTest;
using KivoHost::RCBusMessage;
using Bytes = std::vector<uint8_t>;
using Values = std::vector<uint32_t>;
using Steps = std::vector<std::string>;

namespace {

enum Phase : unsigned { kBeforeStart = 1, kStarted = 2, kStopped = 4 };

struct Hostile {
    const std::wstring* id;
    std::optional<Bytes> data;  // none: the message carries no "SafeData"
    const std::wstring* answer; // what any peer is answered, in the phases of answeredIn
    unsigned answeredIn;
};

Bytes Cut(Bytes bytes, size_t less)
{
    bytes.resize(bytes.size() - less);
    return bytes;
}

// Task "T" exists while the module runs and after it stops: a record read
// in spite of its faults would reach it and be answered.
std::vector<Hostile> HostileRequests()
{
    std::vector<Hostile> table;
    const auto none = [&](const std::wstring& id, std::optional<Bytes> data) {
        table.push_back({&id, std::move(data), nullptr, 0});
    };
    // Every cut of well-formed records, from no byte at all to all but one.
    const auto cuts = [&](const std::wstring& id, const Bytes& whole) {
        for (size_t less = 1; less <= whole.size(); ++less)
            none(id, Cut(whole, less));
    };
    cuts(REQ_TASK_SETUP, RCEncodeRecord(TaskSetupRequest{L"T", ScanType::Custom, {L"C:\\x", L""}}));
    cuts(REQ_TASK_COMMAND, RCEncodeRecord(TaskCommandRequest{L"T", Command::Stop}));
    cuts(REQ_TASK_OPERATE, RCEncodeRecord(TaskOperateRequest{L"T", Operation::Quarantine, {1, 2}}));
    cuts(REQ_TASK_CANCEL_OPERATE, RCEncodeRecord(TaskCancelOperateRequest{L"T"}));
    for (const std::wstring* id :
         {&REQ_TASK_SETUP, &REQ_TASK_COMMAND, &REQ_TASK_OPERATE, &REQ_TASK_CANCEL_OPERATE, &REQ_UPDATE_PAYLOAD})
        none(*id, std::nullopt);

    // Huge texts: a task nobody set up, setups whose last field is missing.
    const std::wstring huge(1 << 20, L'T');
    none(REQ_TASK_COMMAND, RCEncodeRecord(TaskCommandRequest{huge, Command::Stop}));
    none(REQ_TASK_OPERATE, RCEncodeRecord(TaskOperateRequest{huge, Operation::Quarantine, {}}));
    none(REQ_TASK_SETUP, Cut(RCEncodeRecord(TaskSetupRequest{huge, ScanType::Custom, {}}), 4));
    none(REQ_TASK_SETUP, Cut(RCEncodeRecord(TaskSetupRequest{L"T", ScanType::Custom, {huge, L""}}), 4));

    // Identifiers the module serves nothing under, with records that would do something.
    static const std::wstring lowerCaseCommand = L"2e67b984-d068-44e5-8a58-a8aa7b307c4a", noId,
                              addressNotice = MSG_ADDRESS_NOTICE_IN;
    for (const std::wstring* id : {&lowerCaseCommand, &noId, &addressNotice, &EVT_TASK_COMMAND_RESULT})
        none(*id, RCEncodeRecord(TaskCommandRequest{L"T", Command::Stop}));

    // Requests answered whatever their data: the network state, and the
    // updater's answer and forward relayed as they came.
    for (const std::optional<Bytes>& data :
         {std::optional<Bytes>(), std::optional<Bytes>(Bytes()), std::optional<Bytes>(FromHex("ffffffff 01000040"))}) {
        table.push_back({&REQ_NET_STATE, data, &EVT_NET_STATE, kStarted | kStopped});
        table.push_back({&REQ_UPDATE_ANSWER, data, &REQ_UPDATE_ANSWER, kStarted});
        table.push_back({&REQ_UPDATE_FORWARD, data, &REQ_UPDATE_FORWARD, kStarted});
    }
    none(REQ_UPDATE_PAYLOAD, Bytes());
    return table;
}

// The module on a bus whose every message the test reads, attached through
// a gate host and not yet started.
class ScanTaskBusTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(library_.Load(L"RCTrevox.dll"));
        module_ = library_.QueryModule(0);
        ASSERT_NE(nullptr, module_);
        bus_.AddListener([this](const RCBusMessage& message) {
            std::lock_guard<std::recursive_mutex> guard(lock_);
            seen_.push_back(message);
            changed_.notify_all();
        });
        module_->Attach(bus_.HostFor(module_), L"");
    }
    void TearDown() override
    {
        bus_.Post(MSG_MODULE_STOP, L"", L"");
        bus_.WaitIdle();
        module_->Detach();
        library_.ReleaseModule(0, module_);
    }

    template <class Record>
    void Request(const std::wstring& id, const Record& record, const wchar_t* address1 = L"peer1",
                 const wchar_t* address2 = L"peer2")
    {
        const Bytes data = RCEncodeRecord(record);
        bus_.Post(id, address1, address2, &data);
    }
    // What the module does not subscribe to, handed over the way the bus
    // does, between two deliveries: data the host could not read arrives as
    // a null block with its size.
    void Hand(const std::wstring& id, const std::optional<Bytes>& data)
    {
        bus_.WaitIdle();
        module_->OnReceiveMessage(L"peer1", L"peer2", id, nullptr, data ? data->data() : nullptr,
                                  data ? static_cast<uint32_t>(data->size()) : 4096);
    }
    std::vector<RCBusMessage> Messages(const std::wstring& id)
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        std::vector<RCBusMessage> messages;
        std::copy_if(seen_.begin(), seen_.end(), std::back_inserter(messages),
                     [&](const RCBusMessage& message) { return message.id() == id; });
        return messages;
    }
    template <class Record>
    std::vector<Record> Seen(const std::wstring& id)
    {
        std::vector<Record> records;
        for (const RCBusMessage& message : Messages(id)) {
            records.emplace_back();
            EXPECT_TRUE(message.binary(L"SafeData") && RCDecodeRecord(records.back(), *message.binary(L"SafeData")));
        }
        return records;
    }
    // The messages of one identifier as "address1|address2|SafeData in hex".
    std::vector<std::string> Posted(const std::wstring& id)
    {
        std::vector<std::string> texts;
        for (const RCBusMessage& message : Messages(id)) {
            const std::wstring addresses = message.address1() + L"|" + message.address2() + L"|";
            texts.push_back(std::string(addresses.begin(), addresses.end()) + Hex(*message.binary(L"SafeData")));
        }
        return texts;
    }
    // The task's end state once it has come.
    std::optional<ScanStateEvent> EndOf(const std::wstring& taskId)
    {
        for (const ScanStateEvent& state : Seen<ScanStateEvent>(EVT_SCAN_STATE))
            if (state.taskId == taskId && (state.state == ScanState::Stopped || state.state == ScanState::Completed))
                return state;
        return std::nullopt;
    }
    // Until done() holds, asked under the lock; bounded, so that a task that
    // hangs fails its test.
    bool WaitUntil(const std::function<bool()>& done)
    {
        std::unique_lock<std::recursive_mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(90), done);
    }
    // The operation's events once it has ended, in order: its phases, each
    // threat's outcome after its query id, and the threats processed of all.
    // Every phase and outcome carries the operation that was asked for.
    std::vector<std::string> OperationSteps(Operation operation)
    {
        EXPECT_TRUE(WaitUntil([&] { return Messages(EVT_OPERATE_STATE).size() == 2; }));
        bus_.WaitIdle();
        const auto name = [](const wchar_t* text) { return text ? std::string(text, text + wcslen(text)) : "?"; };
        std::vector<std::string> steps;
        std::lock_guard<std::recursive_mutex> guard(lock_);
        for (const RCBusMessage& message : seen_) {
            const Bytes data = message.binary(L"SafeData") ? *message.binary(L"SafeData") : Bytes();
            OperateStateEvent state;
            OperateItemEvent item;
            OperateProgressEvent progress;
            if (message.id() == EVT_OPERATE_STATE) {
                EXPECT_TRUE(RCDecodeRecord(state, data));
                steps.push_back(name(NameOf(state.phase)));
                EXPECT_EQ(operation, state.operation);
            } else if (message.id() == EVT_OPERATE_ITEM) {
                EXPECT_TRUE(RCDecodeRecord(item, data));
                steps.push_back(std::to_string(item.queryId) + " " + name(NameOf(item.outcome)));
                EXPECT_EQ(operation, item.operation);
            } else if (message.id() == EVT_OPERATE_PROGRESS) {
                EXPECT_TRUE(RCDecodeRecord(progress, data));
                steps.push_back(std::to_string(progress.processed) + "/" + std::to_string(progress.total));
            }
        }
        seen_.clear();
        return steps;
    }

    // Through the bus what the module subscribed to, anything else by hand.
    void Deliver(const Hostile& request)
    {
        if (std::any_of(std::begin(kSubscribedRequests), std::end(kSubscribedRequests),
                        [&](const std::wstring* id) { return *id == *request.id; }))
            bus_.Post(*request.id, L"peer1", L"peer2", request.data ? &*request.data : nullptr);
        else
            Hand(*request.id, request.data);
        bus_.WaitIdle();
    }
    // What the module posted since the last call, leaving out the requests
    // themselves and the network monitor's own notices.
    std::vector<std::wstring> Answers(const std::wstring& requestId)
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        std::vector<std::wstring> ids;
        for (const RCBusMessage& message : seen_) {
            const bool request = message.id() == requestId && message.address1() == L"peer1";
            const bool notice = message.id() == EVT_NET_STATE && message.address1().empty();
            if (!request && !notice)
                ids.push_back(message.id());
        }
        seen_.clear();
        return ids;
    }
    void RunTable(const std::vector<Hostile>& table, Phase phase)
    {
        bus_.WaitIdle();
        Answers(L"");
        for (size_t row = 0; row < table.size(); ++row) {
            const Hostile& request = table[row];
            Deliver(request);
            std::vector<std::wstring> expected;
            if (request.answer != nullptr && (request.answeredIn & phase) != 0)
                expected.push_back(*request.answer);
            EXPECT_EQ(expected, Answers(*request.id))
                << "phase " << phase << ", row " << row << ", " << request.data.value_or(Bytes()).size() << " bytes";
        }
    }

    std::recursive_mutex lock_; // the helpers above may be asked under it
    std::condition_variable_any changed_;
    std::vector<RCBusMessage> seen_;
    KivoHost::RCModuleLibrary library_;
    KivoHost::RCBus bus_;
    DmAvCore::IVBusModule* module_ = nullptr;
    RC::test::ScratchDir folder_;
};

// Expected texts of Posted, written with blanks between the fields.
std::vector<std::string> Texts(std::initializer_list<std::string> texts)
{
    std::vector<std::string> joined;
    for (const std::string& text : texts)
        joined.push_back(NoBlanks(text));
    return joined;
}

const char kCustomItem[] = "01000000 1a000000 06000000 ea819a5b494e6b62cf637998"; // 26, the custom item's name

} // namespace

TEST_F(ScanTaskBusTest, CustomScanReportsThreatsThatCanBeQuarantinedRestoredAndForwarded)
{
    bus_.Post(MSG_MODULE_START, L"", L"");
    const std::wstring first = folder_.Write(L"first.com", kEicar);
    const std::wstring second = folder_.Write(L"second.com", kEicar);
    folder_.Write(L"clean.exe", "MZ nothing to see");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", ScanType::Custom, {folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", Command::Start});
    ASSERT_TRUE(WaitUntil([&] { return EndOf(L"T").has_value(); }));
    bus_.WaitIdle();

    EXPECT_EQ(Texts({"peer1|peer2|01000000 5400 04000000 03000000 02000000 00000000"}).at(0),
              Posted(EVT_SCAN_STATE).back());

    std::map<std::wstring, uint32_t> ids;
    for (const ThreatFoundEvent& threat : Seen<ThreatFoundEvent>(EVT_THREAT_FOUND))
        ids[threat.filePath] = threat.queryId;
    ASSERT_EQ(2u, ids.size());
    const uint32_t firstId = ids[first], secondId = ids[second];
    Answers(L""); // forgets what came so far

    // Quarantined both; a cancel after the end changes nothing.
    const std::string a = std::to_string(firstId), b = std::to_string(secondId);
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", Operation::Quarantine, {firstId, secondId}});
    EXPECT_EQ(Steps({"started", a + " started", "1/2", a + " succeeded", b + " started", "2/2", b + " succeeded",
                     "finished"}),
              OperationSteps(Operation::Quarantine));
    Hand(REQ_TASK_CANCEL_OPERATE, RCEncodeRecord(TaskCancelOperateRequest{L"T"}));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(first.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(second.c_str()));

    // Restored byte for byte from the quarantine; an id never reported is skipped.
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", Operation::Restore, {firstId, 999, secondId}});
    EXPECT_EQ(Steps({"started", a + " started", "1/3", a + " succeeded", b + " started", "2/3", b + " succeeded",
                     "finished"}),
              OperationSteps(Operation::Restore));
    EXPECT_EQ(kEicar, ReadAll(first));
    EXPECT_EQ(kEicar, ReadAll(second));

    // Handed to the engine for analysis, with the task as its argument.
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", Operation::ForwardThreatPaths, {secondId}});
    bus_.WaitIdle();
    EXPECT_TRUE(Messages(EVT_OPERATE_STATE).empty());
    const std::string forwarded = ReadAll(RCPathJoin(RCGetExeFolder(), L"Quentor-forwarded.txt"));
    const std::string folder(folder_.Path().begin(), folder_.Path().end());
    EXPECT_NE(std::string::npos, forwarded.find("\tT\t" + folder + "\\second.com\r\n"));
    EXPECT_EQ(std::string::npos, forwarded.find(folder + "\\first.com"));
}

TEST_F(ScanTaskBusTest, CommandsAnswerTheirOwnAddressesAndTasksAreKeptByExactId)
{
    bus_.Post(MSG_MODULE_START, L"", L"");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", ScanType::Custom, {folder_.Path()}});
    // The same task again, from elsewhere: its events keep the first addresses.
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", ScanType{99}, {}}, L"other1", L"other2");
    // Another letter case is another task.
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"t", ScanType::Custom, {folder_.Path()}}, L"lower1", L"lower2");
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", Command{7}}, L"ask1", L"ask2");
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"t", Command::Suspend}, L"ask1", L"ask2"); // not running: false
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"t", Command::Resume}, L"ask1", L"ask2");  // a resume is always done
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", Command::Stop}, L"", L"ask2");
    bus_.WaitIdle();
    EXPECT_EQ(Texts({std::string("peer1|peer2|01000000 5400 ") + kCustomItem, "peer1|peer2|01000000 5400 00000000",
                     std::string("lower1|lower2|01000000 7400 ") + kCustomItem}),
              Posted(EVT_TASK_SETUP_DONE));
    EXPECT_EQ(Texts({"ask1|ask2|01000000 5400 07000000 00", "ask1|ask2|01000000 7400 02000000 00",
                     "ask1|ask2|01000000 7400 03000000 01", "|ask2|01000000 5400 01000000 01"}),
              Posted(EVT_TASK_COMMAND_RESULT));

    // A module stop releases the controllers: commands answer false and
    // operations do nothing until a setup gives the task a fresh one.
    bus_.Post(MSG_MODULE_STOP, L"", L"");
    bus_.Post(MSG_MODULE_START, L"", L"");
    bus_.WaitIdle();
    Answers(L""); // forgets what came so far
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", Command::Stop});
    Request(REQ_TASK_OPERATE, TaskOperateRequest{L"T", Operation::Quarantine, {1}});
    Hand(REQ_TASK_CANCEL_OPERATE, RCEncodeRecord(TaskCancelOperateRequest{L"T"}));
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", ScanType::Custom, {folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"T", Command::Stop});
    bus_.WaitIdle();
    EXPECT_EQ(Texts({"peer1|peer2|01000000 5400 01000000 00", "peer1|peer2|01000000 5400 01000000 01"}),
              Posted(EVT_TASK_COMMAND_RESULT));
    EXPECT_EQ(Texts({std::string("peer1|peer2|01000000 5400 ") + kCustomItem}), Posted(EVT_TASK_SETUP_DONE));
    EXPECT_TRUE(Messages(EVT_OPERATE_STATE).empty());
}

TEST_F(ScanTaskBusTest, MalformedRequestsAreDroppedAndTheModuleStillScans)
{
    const std::vector<Hostile> table = HostileRequests();
    // A task set up before the start is commanded with nobody to answer yet.
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"early", ScanType::Custom, {folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"early", Command::Stop});
    RunTable(table, kBeforeStart);

    bus_.Post(MSG_MODULE_START, L"", L"");
    bus_.WaitIdle();
    Answers(L"");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", ScanType::Custom, {folder_.Path()}});
    bus_.WaitIdle();
    ASSERT_EQ(std::vector<std::wstring>({EVT_TASK_SETUP_DONE}), Answers(REQ_TASK_SETUP));
    RunTable(table, kStarted);

    bus_.Post(MSG_MODULE_STOP, L"", L"");
    RunTable(table, kStopped);

    // Started again, a custom scan of a planted folder beside a path far
    // beyond any the file system takes still ends, with its threat.
    bus_.Post(MSG_MODULE_START, L"", L"");
    folder_.Write(L"eicar.com", KivoTest::kEicar);
    folder_.Write(L"clean.exe", "MZ nothing to see");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"after", ScanType::Custom, {std::wstring(40000, L'p'), folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"after", Command::Start});
    ASSERT_TRUE(WaitUntil([&] { return EndOf(L"after").has_value(); }));
    const ScanStateEvent end = *EndOf(L"after");
    EXPECT_EQ(ScanState::Completed, end.state);
    EXPECT_EQ(Values({2, 1}), Values({end.counts.filesFound, end.counts.level3Found}));
}

// Attaches the module to the bus, starts it and starts a custom scan of
// folder as task "T"; the task's further commands go through what it returns.
std::function<void(Command)> StartTask(KivoHost::RCBus& bus, DmAvCore::IVBusModule* module, const std::wstring& folder)
{
    module->Attach(bus.HostFor(module), L"");
    const auto request = [&bus](const std::wstring& id, const Bytes& data) { bus.Post(id, L"p1", L"p2", &data); };
    bus.Post(MSG_MODULE_START, L"", L"");
    request(REQ_TASK_SETUP, RCEncodeRecord(TaskSetupRequest{L"T", ScanType::Custom, {folder}}));
    const auto command = [request](Command c) {
        request(REQ_TASK_COMMAND, RCEncodeRecord(TaskCommandRequest{L"T", c}));
    };
    command(Command::Start);
    return command;
}

// The least forgiving host: deliveries on a pool, its own lock held while it
// delivers and taken by PostMessage, the library freed at once. A module stop
// that joins a worker still posting the run's end must not wait for it.
TEST(ScanTaskHarshBusTest, AModuleStopEndsASuspendedRunWhoseWorkerPostsItsEnd)
{
    // One file is never answered, so the run is still under way when the
    // suspend arrives, however the threads are scheduled.
    const std::wstring controls = RCPathJoin(RCGetExeFolder(), L"Quentor.ini");
    std::ofstream(controls.c_str(), std::ios::binary) << "NeverAnswer=held.exe\n";
    RC::test::ScratchDir folder;
    folder.Write(L"held.exe", "MZ nothing to see");
    folder.Write(L"other.exe", "MZ nothing to see");
    KivoHost::RCModuleLibrary library;
    ASSERT_TRUE(library.Load(L"RCTrevox.dll"));
    DmAvCore::IVBusModule* const module = library.QueryModule(0);
    std::mutex lock;
    std::condition_variable changed;
    std::optional<bool> suspended;
    bool scanning = false, ended = false;
    {
        KivoHost::RCBus bus(KivoHost::RCBusMode::Harsh);
        bus.AddListener([&](const RCBusMessage& message) {
            TaskCommandResultEvent reply;
            ScanStateEvent state;
            const Bytes* data = message.binary(L"SafeData");
            std::lock_guard<std::mutex> guard(lock);
            if (data && message.id() == EVT_TASK_COMMAND_RESULT && RCDecodeRecord(reply, *data) &&
                reply.command == Command::Suspend)
                suspended = reply.result;
            if (data && message.id() == EVT_SCAN_STATE && RCDecodeRecord(state, *data)) {
                scanning = scanning || state.state == ScanState::Scanning;
                ended = ended || state.state == ScanState::Stopped;
            }
            changed.notify_all();
        });
        const auto command = StartTask(bus, module, folder.Path());
        std::unique_lock<std::mutex> guard(lock);
        EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(90), [&] { return scanning; }));
        guard.unlock();
        command(Command::Suspend);
        guard.lock();
        // Failures here go on to the module stop: a return would leave the
        // run to the destructors, which wait for it.
        EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(90), [&] { return suspended.has_value(); }));
        EXPECT_EQ(std::optional<bool>(true), suspended);
        guard.unlock();

        bus.Post(MSG_MODULE_STOP, L"", L"");
        guard.lock();
        if (!changed.wait_for(guard, std::chrono::seconds(90), [&] { return ended; })) {
            // The delivery hangs, and would hold up every destructor: leave at once.
            std::fprintf(stderr, "the module stop never ended the run\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 1);
        }
        guard.unlock();
        bus.WaitIdle();
        module->Detach();
    }
    library.ReleaseModuleAndFree(0, module);
    DeleteFileW(controls.c_str());
}

// A host that keeps the contract but whose PostMessage takes milliseconds,
// during a long run: every command's state comes before its reply and both
// before the delivery returns, the run's end comes before the module stop
// returns and nothing after it, posts never overlap, no item notification
// shows a status before that status was posted, and the percentage never falls.
TEST(ScanTaskSlowBusTest, EveryPostKeepsItsPlaceOnTheWire)
{
    const std::wstring controls = RCPathJoin(RCGetExeFolder(), L"Quentor.ini");
    std::ofstream(controls.c_str(), std::ios::binary) << "NeverAnswer=held.exe\nDelayMs=5\n";
    RC::test::ScratchDir folder;
    folder.Write(L"held.exe", "MZ nothing to see");
    for (int i = 0; i < 400; ++i)
        folder.Write(L"f" + std::to_wstring(i) + L".exe", "MZ nothing to see");
    struct Wire {
        KivoHost::RCWireEvent::Kind kind;
        std::wstring id;
        Bytes data;
    };
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Wire> wire;
    const auto scanning = [&] {
        ScanStateEvent state;
        return std::any_of(wire.begin(), wire.end(), [&](const Wire& w) {
            return w.id == EVT_SCAN_STATE && RCDecodeRecord(state, w.data) && state.state == ScanState::Scanning;
        });
    };
    KivoHost::RCModuleLibrary library;
    ASSERT_TRUE(library.Load(L"RCTrevox.dll"));
    DmAvCore::IVBusModule* const module = library.QueryModule(0);
    int mostPostsAtOnce = 0;
    {
        KivoHost::RCBus bus(KivoHost::RCBusMode::Slow);
        bus.SetWireObserver([&](const KivoHost::RCWireEvent& event) {
            const Bytes* data = event.message->binary(L"SafeData");
            std::lock_guard<std::mutex> guard(lock);
            wire.push_back({event.kind, event.message->id(), data ? *data : Bytes()});
            changed.notify_all();
        });
        const auto command = StartTask(bus, module, folder.Path());
        {
            std::unique_lock<std::mutex> guard(lock);
            EXPECT_TRUE(changed.wait_for(guard, std::chrono::seconds(90), scanning));
        }
        for (int i = 0; i < 40; ++i) {
            command(Command::Suspend);
            command(Command::Resume);
        }
        bus.Post(MSG_MODULE_STOP, L"", L"");
        bus.WaitIdle();
        module->Detach();
        mostPostsAtOnce = bus.MostPostsAtOnce();
    }
    library.ReleaseModuleAndFree(0, module);
    DeleteFileW(controls.c_str());

    EXPECT_EQ(1, mostPostsAtOnce);
    // Each delivery as the posts it made, in order: "state N", "reply N" for
    // the command N; a stop's posts after its delivery count as "late".
    std::vector<std::string> deliveries;
    std::string* current = nullptr;
    bool stopped = false;
    size_t late = 0;
    uint32_t percent = 0;
    std::map<uint32_t, ItemStatus> posted; // each item's last posted status
    for (const Wire& w : wire) {
        ScanStateEvent state;
        TaskCommandResultEvent reply;
        ScanProgressEvent progress;
        ItemStatusEvent status;
        ItemProgressEvent item;
        if (w.kind == KivoHost::RCWireEvent::DeliveryBegins) {
            deliveries.emplace_back(w.id == MSG_MODULE_STOP ? "stop:" : "");
            current = &deliveries.back();
        } else if (w.kind == KivoHost::RCWireEvent::DeliveryEnds) {
            stopped = stopped || w.id == MSG_MODULE_STOP;
            current = nullptr;
        } else if (stopped) {
            ++late;
        } else if (w.id == EVT_SCAN_STATE && RCDecodeRecord(state, w.data) && current) {
            *current += " state " + std::to_string(static_cast<int>(state.state));
        } else if (w.id == EVT_TASK_COMMAND_RESULT && RCDecodeRecord(reply, w.data) && current) {
            *current += " reply " + std::to_string(static_cast<int>(reply.command)) + (reply.result ? "" : " false");
        } else if (w.id == EVT_SCAN_PROGRESS && RCDecodeRecord(progress, w.data)) {
            EXPECT_LE(percent, progress.percent) << "the percentage fell";
            percent = progress.percent;
        } else if (w.id == EVT_ITEM_STATUS && RCDecodeRecord(status, w.data)) {
            posted[status.showType] = status.status;
        } else if (w.id == EVT_ITEM_PROGRESS && RCDecodeRecord(item, w.data)) {
            EXPECT_LE(item.status, posted[item.showType]) << "an item's progress came before its status";
        }
    }
    EXPECT_EQ(0u, late) << "posts after the module stop returned";
    const auto count = [&](const std::string& posts) {
        return std::count(deliveries.begin(), deliveries.end(), posts);
    };
    EXPECT_EQ(40, count(" state 2 reply 2")) << testing::PrintToString(deliveries);
    EXPECT_EQ(40, count(" state 1 reply 3"));
    EXPECT_EQ(1, count("stop: state 3"));
}
