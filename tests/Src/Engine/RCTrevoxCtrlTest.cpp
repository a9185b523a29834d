// The scan controller: its progress arithmetic against figures worked out
// by hand, and whole runs over a planted folder with the substitute engine
// beside this program (built as the no-engine program: with no engine at all).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "Src/Engine/RCTrevoxCtrl.h"
#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "Src/Engine/RCScanPlan.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"
#include "support/BusCodePrinter.h"
#include "support/TestData.h"

using namespace RC;
using KivoTest::kEicar;
using Values = std::vector<uint32_t>;
using S = ScanState;
using I = ItemStatus;
using States = std::vector<ScanState>;
using Statuses = std::vector<ItemStatus>;
// A state with files found, risks and threats; an item's status with its
// files found, scanned, risks and threats.
using Totals = std::pair<ScanState, Values>;
using Row = std::pair<ItemStatus, Values>;

namespace {

const char kSignatures[] = "fab8f3e60b0ba1d4f8f152b7ee446062:43:Win.Trojan.KivoCtrl-1\n"
                           "3816dbdc32a1a51e7dda1db70e4b01bf:43:PUA.Win.Adware.KivoCtrl-1\n";

// Where the recorder holds the thread that gets there first, until the test
// releases it.
enum class HoldAt { kNothing, kFirstItemStart, kEnumStart, kQueryStart, kEnumEnd };

// What the run reported. It can hold a worker at one point of the run, and
// note when a worker next asks at the pause gate.
class ScanRecorder : public IScanObCallback {
public:
    void OnScanStateChange(const ScanStatusBlock* s) override
    {
        Note([&] {
            states.push_back(s->state);
            totals = {s->state, {s->counts.filesFound, s->counts.level2Found, s->counts.level3Found}};
        });
    }
    void OnScanProgressChange(const ScanProgressBlock* p) override
    {
        Note([&] { percents.push_back(p->percent); });
    }
    void OnItemStatusChange(uint32_t showType, const ItemRow* s) override
    {
        Note([&] {
            if (statuses[showType].empty())
                order.push_back(showType);
            statuses[showType].push_back(s->status);
        });
    }
    void OnItemProgressChange(uint32_t, const ItemRow*) override {}
    void NoteGate()
    {
        Note([&] { gate = gate == 1 ? 2 : gate; });
    }

    // Holds the calling thread at the armed point once, until the test lets
    // it go or the bound runs out.
    void HoldIf(HoldAt point)
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (holdAt != point || hold != 1)
            return;
        hold = 2;
        changed_.notify_all();
        changed_.wait_for(guard, std::chrono::seconds(90), [&] { return hold == 3; });
        changed_.notify_all();
    }
    void Arm(HoldAt point)
    {
        Note([&] { holdAt = point, hold = 1; });
    }
    bool WaitHeld()
    {
        return WaitUntil([&] { return hold == 2; });
    }
    void Release() { Set(hold, 3); }

    // Bounded, so that a run that hangs fails its test.
    bool WaitUntil(const std::function<bool()>& done)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(90), done);
    }
    bool WaitForEnds(long count)
    {
        const auto isEnd = [](ScanState state) { return state == S::Stopped || state == S::Completed; };
        return WaitUntil([&] { return std::count_if(states.begin(), states.end(), isEnd) >= count; });
    }
    void Set(int& field, int value)
    {
        Note([&] { field = value; });
    }
    template <class T>
    T Get(const T& field)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return field;
    }

    template <class Change>
    void Note(Change change)
    {
        std::lock_guard<std::mutex> guard(lock_);
        change();
        changed_.notify_all();
    }

    States states;
    Values percents;
    Totals totals;
    std::map<uint32_t, Statuses> statuses;
    Values order; // the items as their first status came
    HoldAt holdAt = HoldAt::kNothing;
    int hold = 0; // 1 armed, 2 holding, 3 released
    int gate = 0; // 1 watching, 2 a worker came

private:
    std::mutex lock_;
    std::condition_variable changed_;
};

struct WatchedCtrl : RCSafeTrevoxCtrl {
    explicit WatchedCtrl(ScanRecorder& recorder) : recorder(recorder) {}
    bool CheckStopped() override { return recorder.NoteGate(), RCSafeTrevoxCtrl::CheckStopped(); }
    bool OnEnumStart() override { return recorder.HoldIf(HoldAt::kEnumStart), RCSafeTrevoxCtrl::OnEnumStart(); }
    bool OnQueryBegin() override { return recorder.HoldIf(HoldAt::kQueryStart), RCSafeTrevoxCtrl::OnQueryBegin(); }
    void OnEnumEnd(bool stopped) override { recorder.HoldIf(HoldAt::kEnumEnd), RCSafeTrevoxCtrl::OnEnumEnd(stopped); }
    bool OnEnumItemStart(IAvEnumFile* enumerator) override
    {
        return recorder.HoldIf(HoldAt::kFirstItemStart), RCSafeTrevoxCtrl::OnEnumItemStart(enumerator);
    }
    ScanRecorder& recorder;
};

// A call made on a thread of its own, as a host with a pool of delivery
// threads makes it.
template <class Call>
void OnAnotherThread(Call call)
{
    std::thread(call).join();
}

class RCSafeTrevoxCtrlTest : public testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring signatures = RCPathJoin(RCGetExeFolder(), L"signatures");
        CreateDirectoryW(signatures.c_str(), nullptr);
        std::ofstream(RCPathJoin(signatures, L"kivo-ctrl.hdb").c_str(), std::ios::binary) << kSignatures;
        folder_.Write(L"eicar.com", kEicar);
        folder_.Write(L"listed.exe", "Kivo controller test: listed trojan sample\n");
        folder_.Write(L"adware.dll", "Kivo controller test: listed adware sample\n");
        folder_.Write(L"clean.exe", "MZ nothing to see");
        folder_.Write(L"clean.sys", "MZ nothing here either");
        folder_.Write(L"readme.txt", "not a kind of file the engine is asked about");
        ASSERT_TRUE(ctrl_.Initialize(L"ctrl-test"));
        ctrl_.GetObserver()->SetCallback(&recorder_);
        Plan(ScanType::Custom);
    }
    void TearDown() override
    {
        ctrl_.UnInitialize();
        DeleteFileW(RCPathJoin(RCGetExeFolder(), L"Quentor.ini").c_str());
    }

    void Plan(ScanType scanType) { ctrl_.SetScanTypeInfo({scanType, {folder_.Path()}}); }
    // The end state comes just before the run lets go of its flags, so a new
    // start may have to wait a moment.
    void Start()
    {
        for (int tries = 0; !ctrl_.StartScan(); ++tries) {
            ASSERT_LT(tries, 3000);
            Sleep(10);
        }
    }
    // Suspended while the enumeration thread is in the first item, which
    // then waits at the gate.
    void SuspendInFirstItem(int suspends)
    {
        recorder_.Arm(HoldAt::kFirstItemStart);
        Start();
        ASSERT_TRUE(recorder_.WaitHeld());
        for (int i = 0; i < suspends; ++i)
            EXPECT_TRUE(ctrl_.SuspendScan());
        recorder_.Set(recorder_.gate, 1);
        recorder_.Release();
        ASSERT_TRUE(recorder_.WaitUntil([&] { return recorder_.gate == 2; }));
    }
    Row ItemRow(uint32_t showType)
    {
        const RC::ItemRow row = ctrl_.GetObserver()->GetItemRow(showType);
        return {row.status, {row.counts.enumerated, row.counts.scanned, row.counts.level2, row.counts.level3}};
    }

    RC::test::ScratchDir folder_;
    ScanRecorder recorder_;
    WatchedCtrl ctrl_{recorder_};
};

} // namespace

#ifndef KIVO_NO_ENGINE

// The first run is suspended twice and goes on after one resume from another
// thread; the second counts again from zero.
TEST_F(RCSafeTrevoxCtrlTest, CustomScanCountsEveryFileAndOneResumeEndsTwoSuspends)
{
    SuspendInFirstItem(2);
    OnAnotherThread([&] { EXPECT_TRUE(ctrl_.ResumeScan()); });
    for (long run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        if (run == 2)
            Start();
        ASSERT_TRUE(recorder_.WaitForEnds(run));
        // Six files found (the text file too), five scanned, one risk and two threats.
        EXPECT_EQ(Totals(S::Completed, {6, 1, 2}), recorder_.Get(recorder_.totals));
        EXPECT_EQ(Row(I::Finished, {6, 5, 1, 2}), ItemRow(kCustomPathsShowType));
        EXPECT_EQ(85u, ctrl_.GetObserver()->GetProgress().percent);
        const Values percents = recorder_.Get(recorder_.percents);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        recorder_.Note([&] { recorder_.percents.clear(); });
    }
    EXPECT_EQ(States({S::NotStarted, S::Scanning, S::Suspended, S::Suspended, S::Scanning, S::Completed, S::NotStarted,
                      S::Scanning, S::Completed}),
              recorder_.Get(recorder_.states));
    EXPECT_EQ(Statuses({I::Enumerating, I::Scanning, I::Finished, I::Enumerating, I::Scanning, I::Finished}),
              recorder_.Get(recorder_.statuses)[kCustomPathsShowType]);
}

// The other scan types run their own plans to the end, item by item in the
// plan's order: every item finishes, a file the filter passes over counts
// nowhere but in the custom item, and the full scan's walk of the disk finds
// the planted files (and passes over the text file).
TEST_F(RCSafeTrevoxCtrlTest, QuickFullAndMemoryScansFinishEveryItemInThePlansOrder)
{
    long run = 0;
    for (ScanType type : {ScanType::Quick, ScanType::Full, ScanType::Memory}) {
        SCOPED_TRACE("scan type " + std::to_string(WireValue(type)));
        Values plan, listed;
        for (const RCScanPlan::Item& item : RCScanPlan().Build({type, {}}))
            plan.push_back(static_cast<uint32_t>(item.showType));
        recorder_.Note([&] { recorder_.statuses.clear(), recorder_.order.clear(); });
        Plan(type);
        for (const ScanItem& item : ctrl_.GetObserver()->GetItems())
            listed.push_back(item.showType);
        EXPECT_EQ(plan, listed);
        Start();
        ASSERT_TRUE(recorder_.WaitForEnds(++run));
        EXPECT_EQ(S::Completed, recorder_.Get(recorder_.states).back());
        EXPECT_EQ(plan, recorder_.Get(recorder_.order));
        for (const auto& item : recorder_.Get(recorder_.statuses)) {
            EXPECT_EQ(I::Finished, item.second.back()) << "item " << item.first;
            const Values counts = ItemRow(item.first).second;
            EXPECT_EQ(counts[0], counts[1]) << "item " << item.first; // found, scanned
        }
        if (type == ScanType::Full) {
            EXPECT_GE(recorder_.Get(recorder_.totals).second[2], 2u); // the EICAR file and the listed trojan
        }
    }
}

TEST_F(RCSafeTrevoxCtrlTest, AStopBeforeTheQueryThreadStartsOrWhileSuspendedScansNothing)
{
    // The enumeration thread waits for the query thread's start, held until the stop has come.
    recorder_.Arm(HoldAt::kQueryStart);
    Start();
    ASSERT_TRUE(recorder_.WaitHeld());
    ctrl_.StopScan();
    recorder_.Release();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(Totals(S::Stopped, {0, 0, 0}), recorder_.Get(recorder_.totals));
    EXPECT_TRUE(recorder_.Get(recorder_.statuses).empty());

    SuspendInFirstItem(1);
    OnAnotherThread([&] { ctrl_.StopScan(); }); // releases the workers held at the gate
    ASSERT_TRUE(recorder_.WaitForEnds(2));
    EXPECT_EQ(States({S::NotStarted, S::Scanning, S::Stopped, S::NotStarted, S::Scanning, S::Suspended, S::Stopped}),
              recorder_.Get(recorder_.states));
    EXPECT_EQ(Totals(S::Stopped, {0, 0, 0}), recorder_.Get(recorder_.totals));
    // Its end marker still passes.
    EXPECT_EQ(Statuses({I::Enumerating, I::Scanning, I::Finished}),
              recorder_.Get(recorder_.statuses)[kCustomPathsShowType]);
    EXPECT_FALSE(ctrl_.SuspendScan());
    EXPECT_FALSE(ctrl_.ResumeScan());

    // The next run completes. It reaches every file twice, which is one
    // threat each.
    ctrl_.SetScanTypeInfo({ScanType::Custom, {folder_.Path(), folder_.Path()}});
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(3));
    EXPECT_EQ(Totals(S::Completed, {12, 1, 2}), recorder_.Get(recorder_.totals));
    EXPECT_EQ(Row(I::Finished, {12, 10, 2, 4}), ItemRow(kCustomPathsShowType));
}

// "C:x" names a file in drive C's current folder: the enumerators report it,
// but the run takes drive paths of four characters or more only.
TEST_F(RCSafeTrevoxCtrlTest, AThreeCharacterDrivePathCountsNowhere)
{
    folder_.Write(L"x");
    ASSERT_TRUE(::SetCurrentDirectoryW(folder_.Path().c_str()));
    ctrl_.SetScanTypeInfo({ScanType::Custom, {L"C:x", RCPathJoin(folder_.Path(), L"eicar.com")}});
    Start();
    const bool ended = recorder_.WaitForEnds(1), found = RCIsFile(L"C:x");
    ::SetCurrentDirectoryW(RCGetExeFolder().c_str()); // any but the test's folder, which then goes
    ASSERT_TRUE(ended && found);
    EXPECT_EQ(Totals(S::Completed, {1, 0, 1}), recorder_.Get(recorder_.totals)); // the EICAR file alone
}

TEST_F(RCSafeTrevoxCtrlTest, ANewPlanDuringARunChangesNothing)
{
    // One file is never answered, so the run lasts until it is stopped (and
    // then ends only if the stop drops the query).
    std::ofstream(RCPathJoin(RCGetExeFolder(), L"Quentor.ini").c_str(), std::ios::binary) << "NeverAnswer=clean.exe\n";
    Start();
    ASSERT_TRUE(recorder_.WaitUntil([&] { return recorder_.states.size() == 2; })); // cleared, scanning
    Plan(ScanType::Memory);
    EXPECT_EQ(kCustomPathsShowType, ctrl_.GetObserver()->GetItems().at(0).showType);
    EXPECT_FALSE(ctrl_.StartScan());
    ctrl_.UnInitialize(); // stops the run: the query is dropped, not waited for
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(S::Stopped, recorder_.Get(recorder_.states).back());
    Plan(ScanType::Memory); // between runs a new plan is taken
    EXPECT_EQ(kSystemMemoryShowType, ctrl_.GetObserver()->GetItems().at(0).showType);
}

// Until the query thread begins, a start is that run's own start again and a
// new plan is for the next run: the run goes on with the plan it began with.
TEST_F(RCSafeTrevoxCtrlTest, BeforeTheRunBeginsAStartAnswersTrueAndANewPlanWaitsForTheNextRun)
{
    recorder_.Arm(HoldAt::kEnumStart);
    Start();
    ASSERT_TRUE(recorder_.WaitHeld());
    EXPECT_TRUE(ctrl_.StartScan());
    EXPECT_FALSE(ctrl_.SuspendScan());
    Plan(ScanType::Memory);
    EXPECT_EQ(kSystemMemoryShowType, ctrl_.GetObserver()->GetItems().at(0).showType);
    recorder_.Release();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(Totals(S::Completed, {6, 1, 2}), recorder_.Get(recorder_.totals));
    // Each start clears the peers' view.
    EXPECT_EQ(States({S::NotStarted, S::NotStarted, S::Scanning, S::Completed}), recorder_.Get(recorder_.states));
}

// A run lasts until its end state: between a stop and that state, a suspend
// and a resume are answered and their states posted.
TEST_F(RCSafeTrevoxCtrlTest, ASuspendAndAResumeWhileAStopIsUnderWayArePosted)
{
    recorder_.Arm(HoldAt::kEnumEnd);
    Start();
    ASSERT_TRUE(recorder_.WaitHeld());
    ctrl_.StopScan();
    EXPECT_TRUE(ctrl_.SuspendScan());
    EXPECT_TRUE(ctrl_.ResumeScan());
    recorder_.Release();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(States({S::NotStarted, S::Scanning, S::Suspended, S::Scanning, S::Stopped}),
              recorder_.Get(recorder_.states));
}

// A run whose own machinery fails to start ends as stopped having scanned
// nothing, and the task takes the next start.
TEST_F(RCSafeTrevoxCtrlTest, ARunWhoseMachineryFailsEndsStoppedAndTheNextStartRuns)
{
    RCRunFaults noWorker, noQueryThread, queryThreadThrows, noEvents;
    noWorker.noWorker = true;
    noQueryThread.noQueryThread = true;
    queryThreadThrows.throwAtQueryBegin = true; // the run has begun: it was scanning
    noEvents.noQueueEvents = true;
    long ends = 0;
    for (const RCRunFaults& fault : {noWorker, noQueryThread, queryThreadThrows}) {
        ctrl_.SetFaults(fault);
        Start();
        ASSERT_TRUE(recorder_.WaitForEnds(++ends));
        EXPECT_EQ(Totals(S::Stopped, {0, 0, 0}), recorder_.Get(recorder_.totals));
        ctrl_.SetFaults(RCRunFaults());
        Start();
        ASSERT_TRUE(recorder_.WaitForEnds(++ends));
        EXPECT_EQ(Totals(S::Completed, {6, 1, 2}), recorder_.Get(recorder_.totals));
    }
    EXPECT_EQ(States({S::NotStarted, S::Stopped, S::NotStarted, S::Scanning, S::Completed, S::NotStarted, S::Stopped,
                      S::NotStarted, S::Scanning, S::Completed, S::NotStarted, S::Scanning, S::Stopped, S::NotStarted,
                      S::Scanning, S::Completed}),
              recorder_.Get(recorder_.states));

    // Without the queue's events no run can begin.
    ctrl_.UnInitialize();
    ctrl_.SetFaults(noEvents);
    ASSERT_TRUE(ctrl_.Initialize(L"ctrl-test"));
    Plan(ScanType::Custom);
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(++ends));
    EXPECT_EQ(Totals(S::Stopped, {0, 0, 0}), recorder_.Get(recorder_.totals));
}

// An answer whose handling throws on the query thread costs that answer
// only: the other threats are reported, the run goes to its end and, having
// missed something, ends as stopped. A threat the list could not keep still
// counts as scanned, so its item finishes.
TEST_F(RCSafeTrevoxCtrlTest, AnAnswerLostToAThrowCostsThatAnswerAndTheRunEndsStopped)
{
    RCRunFaults threatThrows, answerThrows;
    threatThrows.threatThatThrows = L"listed.exe";
    answerThrows.answerThatThrows = L"adware.dll"; // the first file, answered before the threats
    ctrl_.SetFaults(threatThrows);
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(Totals(S::Stopped, {6, 1, 1}), recorder_.Get(recorder_.totals));
    EXPECT_EQ(Row(I::Finished, {6, 5, 1, 2}), ItemRow(kCustomPathsShowType));

    ctrl_.SetFaults(answerThrows);
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(2));
    EXPECT_EQ(Totals(S::Stopped, {6, 0, 2}), recorder_.Get(recorder_.totals));
    ctrl_.SetFaults(RCRunFaults());
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(3));
    EXPECT_EQ(Totals(S::Completed, {6, 1, 2}), recorder_.Get(recorder_.totals));
}

// An engine whose one worker hangs holds every query it takes: the run
// waits for room in its own queue, where a module stop still reaches it.
TEST_F(RCSafeTrevoxCtrlTest, AModuleStopReturnsWhileTheEnginesWorkersHang)
{
    std::ofstream(RCPathJoin(RCGetExeFolder(), L"Quentor.ini").c_str(), std::ios::binary)
        << "Workers=1\nDelayMs=600000\n";
    for (int i = 0; i < 300; ++i)
        folder_.Write(L"hung" + std::to_wstring(i) + L".exe", "MZ");
    Start();
    // More files than the engine queues for one worker; a walk that nothing
    // holds back reaches the engine's own limit moments later.
    for (int tries = 0; ctrl_.GetObserver()->GetStatus().counts.filesFound < 257; ++tries) {
        ASSERT_LT(tries, 3000);
        Sleep(10);
    }
    Sleep(200);
    ctrl_.UnInitialize();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(S::Stopped, recorder_.Get(recorder_.states).back());
}

#else

TEST_F(RCSafeTrevoxCtrlTest, WithoutTheEngineEveryFileCompletesClean)
{
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(States({S::NotStarted, S::Scanning, S::Completed}), recorder_.Get(recorder_.states));
    EXPECT_EQ(Totals(S::Completed, {6, 0, 0}), recorder_.Get(recorder_.totals));
    EXPECT_EQ(Row(I::Finished, {6, 5, 0, 0}), ItemRow(kCustomPathsShowType));
}

#endif
