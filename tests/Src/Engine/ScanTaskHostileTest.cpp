// Requests no well-behaved peer sends, through the reference bus: records cut
// short, list counts beyond the bytes, huge texts, no data, identifiers the
// module does not serve; before the module starts, while it runs and after it
// stops. The module answers none of them beyond what it answers any peer, and
// still runs a scan afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cwctype>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "Src/Engine/BusModuleTest.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"

using namespace RC;
using KivoHost::RCBusMessage;

namespace {

using Bytes = std::vector<uint8_t>;
const wchar_t kPeer1[] = L"hostile1";
const wchar_t kPeer2[] = L"hostile2";
const char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

enum Phase : unsigned { kBeforeStart = 1, kStarted = 2, kStopped = 4 };

struct Hostile {
    const std::wstring* id;
    std::optional<Bytes> data;        // none: the message carries no "SafeData"
    const std::wstring* answer;       // what any peer is answered, or null
    unsigned answeredIn;              // the phases in which it is
};

// Raw little-endian fields, for records no encoder would write.
struct Raw {
    Bytes bytes;
    Raw& U32(uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        return *this;
    }
    Raw& Units(size_t count, wchar_t unit)
    {
        for (size_t i = 0; i < count; ++i)
            bytes.push_back(static_cast<uint8_t>(unit)), bytes.push_back(static_cast<uint8_t>(unit >> 8));
        return *this;
    }
    Raw& Text(const std::wstring& text) { return U32(static_cast<uint32_t>(text.size())).Units(text); }
    Raw& Units(const std::wstring& text)
    {
        for (wchar_t unit : text)
            Units(1, unit);
        return *this;
    }
};

const std::wstring kLowerCaseCommand = [] {
    std::wstring id = REQ_TASK_COMMAND;
    std::transform(id.begin(), id.end(), id.begin(), ::towlower);
    return id;
}();
const std::wstring kNoId;

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
        for (size_t length = 0; length < whole.size(); ++length)
            none(id, Bytes(whole.begin(), whole.begin() + length));
    };
    cuts(REQ_TASK_SETUP, RCEncodeRecord(TaskSetupRequest{L"T", 3, {L"C:\\x", L""}}));
    cuts(REQ_TASK_COMMAND, RCEncodeRecord(TaskCommandRequest{L"T", 1}));
    cuts(REQ_TASK_OPERATE, RCEncodeRecord(TaskOperateRequest{L"T", 1, {1, 2}}));
    cuts(REQ_TASK_CANCEL_OPERATE, RCEncodeRecord(TaskCancelOperateRequest{L"T"}));
    for (const std::wstring* id : {&REQ_TASK_SETUP, &REQ_TASK_COMMAND, &REQ_TASK_OPERATE, &REQ_TASK_CANCEL_OPERATE,
                                   &REQ_UPDATE_PAYLOAD})
        none(*id, std::nullopt);

    // Counts beyond the bytes, also counts whose size in bytes wraps to a small number.
    none(REQ_TASK_SETUP, Raw().Text(L"T").U32(3).U32(0xFFFFFFFF).Text(L"x").bytes);
    none(REQ_TASK_SETUP, Raw().Text(L"T").U32(3).U32(0x40000001).U32(0).bytes);
    none(REQ_TASK_SETUP, Raw().Text(L"T").U32(3).U32(1).U32(0x80000001).Units(1, L'x').bytes);
    none(REQ_TASK_OPERATE, Raw().Text(L"T").U32(1).U32(3).U32(1).U32(2).bytes);
    none(REQ_TASK_OPERATE, Raw().Text(L"T").U32(1).U32(0x40000001).U32(1).bytes);
    none(REQ_TASK_COMMAND, Raw().U32(0x80000001).Units(1, L'T').U32(1).bytes);
    none(REQ_TASK_COMMAND, Raw().U32(2).Units(1, L'T').U32(1).bytes);  // half a unit short
    none(REQ_TASK_CANCEL_OPERATE, Raw().U32(0xFFFFFFFF).Units(L"T").bytes);

    // Huge texts: a task nobody set up, setups whose last field is missing.
    const std::wstring huge(1 << 20, L'T');
    none(REQ_TASK_COMMAND, Raw().Text(huge).U32(1).bytes);
    none(REQ_TASK_OPERATE, Raw().Text(huge).U32(1).U32(0).bytes);
    none(REQ_TASK_SETUP, Raw().Text(huge).U32(3).bytes);
    none(REQ_TASK_SETUP, Raw().Text(L"T").U32(3).U32(2).Text(huge).bytes);

    // Identifiers the module serves nothing under, with records that would do something.
    const Bytes command = RCEncodeRecord(TaskCommandRequest{L"T", 1});
    none(kLowerCaseCommand, command);
    none(kNoId, command);
    none(MSG_ADDRESS_NOTICE_IN, command);
    none(EVT_TASK_COMMAND_RESULT, command);

    // Requests answered whatever their data: the network state, and the
    // updater's answer and forward relayed as they came.
    const Bytes junk = Raw().U32(0xFFFFFFFF).U32(0x40000001).bytes;
    for (const std::optional<Bytes>& data : {std::optional<Bytes>(), std::optional<Bytes>(Bytes()),
                                             std::optional<Bytes>(junk)}) {
        table.push_back({&REQ_NET_STATE, data, &EVT_NET_STATE, kStarted | kStopped});
        table.push_back({&REQ_UPDATE_ANSWER, data, &REQ_UPDATE_ANSWER, kStarted});
        table.push_back({&REQ_UPDATE_FORWARD, data, &REQ_UPDATE_FORWARD, kStarted});
    }
    none(REQ_UPDATE_PAYLOAD, Bytes());
    return table;
}

class ScanTaskHostileTest : public KivoTest::BusModuleTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(LoadModule());
        module_->Attach(bus_.HostFor(module_), L"");
    }
    void TearDown() override
    {
        StopAndRelease();
    }

    // Through the bus what the module subscribed to; anything else the way
    // the bus hands a message over, between two deliveries. A message whose
    // data the host could not read arrives as a null block with its size.
    void Deliver(const Hostile& request)
    {
        const auto& subscribed = kSubscribedRequests;
        if (std::any_of(std::begin(subscribed), std::end(subscribed),
                        [&](const std::wstring* id) { return *id == *request.id; })) {
            bus_.Post(*request.id, kPeer1, kPeer2, request.data ? &*request.data : nullptr);
            bus_.WaitIdle();
            return;
        }
        bus_.WaitIdle();
        const uint8_t* data = request.data ? request.data->data() : nullptr;
        const uint32_t size = request.data ? static_cast<uint32_t>(request.data->size()) : 4096;
        module_->OnReceiveMessage(kPeer1, kPeer2, *request.id, nullptr, data, size);
        bus_.WaitIdle();
    }
    // What the module posted since the last call, leaving out the requests
    // themselves and the network monitor's own notices.
    std::vector<std::wstring> Answers(const std::wstring& requestId)
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<std::wstring> ids;
        for (const RCBusMessage& message : seen_) {
            const bool request = message.id() == requestId && message.address1() == kPeer1;
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
    template <class Record>
    void Request(const std::wstring& id, const Record& record)
    {
        const Bytes data = RCEncodeRecord(record);
        bus_.Post(id, kPeer1, kPeer2, &data);
    }
    // Bounded, so that a task that hangs fails the test.
    bool WaitForEndState(const std::wstring& taskId, ScanStateEvent& end)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(90), [&] {
            for (const RCBusMessage& message : seen_) {
                const Bytes* data = message.binary(L"SafeData");
                if (message.id() == EVT_SCAN_STATE && data != nullptr && RCDecodeRecord(end, *data) &&
                    end.taskId == taskId && (end.state == 3 || end.state == 4))
                    return true;
            }
            return false;
        });
    }

    RC::test::ScratchDir folder_;
};

} // namespace

TEST_F(ScanTaskHostileTest, MalformedRequestsAreDroppedAndTheModuleStillScans)
{
    const std::vector<Hostile> table = HostileRequests();
    RunTable(table, kBeforeStart);

    bus_.Post(MSG_MODULE_START, L"", L"");
    bus_.WaitIdle();
    Answers(L"");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"T", 3, {folder_.Path()}});
    bus_.WaitIdle();
    ASSERT_EQ(std::vector<std::wstring>({EVT_TASK_SETUP_DONE}), Answers(REQ_TASK_SETUP));
    RunTable(table, kStarted);

    bus_.Post(MSG_MODULE_STOP, L"", L"");
    RunTable(table, kStopped);

    // Started again, a custom scan of a planted folder beside a path far
    // beyond any the file system takes still ends, with its threat.
    bus_.Post(MSG_MODULE_START, L"", L"");
    folder_.Write(L"eicar.com", kEicar);
    folder_.Write(L"clean.exe", "MZ nothing to see");
    Request(REQ_TASK_SETUP, TaskSetupRequest{L"after", 3, {std::wstring(40000, L'p'), folder_.Path()}});
    Request(REQ_TASK_COMMAND, TaskCommandRequest{L"after", 0});
    ScanStateEvent end;
    ASSERT_TRUE(WaitForEndState(L"after", end));
    EXPECT_EQ(std::vector<uint32_t>({4, 2, 1}), std::vector<uint32_t>({end.state, end.filesFound, end.level3Found}));
}
