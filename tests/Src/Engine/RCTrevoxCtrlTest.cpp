// Whole runs of the scan controller over a planted folder, with the
// substitute engine beside this program (or, built as the no-engine program,
// with no engine at all).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <mutex>
#include <random>

#include "Engine/RCTrevoxCtrl.h"
#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCPath.h"

using namespace RC;

namespace {

const char kEicar[] = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
const char kListedTrojan[] = "Kivo controller test: listed trojan sample\n";
const char kListedAdware[] = "Kivo controller test: listed adware sample\n";
const char kSignatures[] = "fab8f3e60b0ba1d4f8f152b7ee446062:43:Win.Trojan.KivoCtrl-1\n"
                           "3816dbdc32a1a51e7dda1db70e4b01bf:43:PUA.Win.Adware.KivoCtrl-1\n";

// What the run reported, in order. The first item status can be held, which
// keeps the enumeration thread inside the run's first item.
class ScanRecorder : public IScanObCallback {
public:
    void OnScanStateChange(const ScanStatusBlock* status) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        states_.push_back(status->state);
        last_ = *status;
        changed_.notify_all();
    }
    void OnScanProgressChange(const ScanProgressBlock* progress) override
    {
        std::lock_guard<std::mutex> guard(lock_);
        percents_.push_back(progress->percent);
    }
    void OnItemStatusChange(uint32_t showType, const ItemStatusBlock* status) override
    {
        std::unique_lock<std::mutex> guard(lock_);
        statuses_[showType].push_back(status->status);
        changed_.notify_all();
        if (hold_ == Hold::kArmed) {
            hold_ = Hold::kHolding;
            changed_.wait(guard, [&] { return hold_ == Hold::kReleased; });
        }
    }
    void OnItemProgressChange(uint32_t, const ItemProgressBlock*) override {}

    void HoldFirstItem() { hold_ = Hold::kArmed; }
    // The next worker to ask at the pause gate is noted.
    void WatchGate()
    {
        std::lock_guard<std::mutex> guard(lock_);
        gate_ = Gate::kWatching;
    }
    void NoteGate()
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (gate_ == Gate::kWatching)
            gate_ = Gate::kReached;
        changed_.notify_all();
    }
    bool WaitAtGate() { return Wait([&] { return gate_ == Gate::kReached; }); }
    bool WaitUntilHeld() { return Wait([&] { return hold_ == Hold::kHolding; }); }
    void Release()
    {
        std::lock_guard<std::mutex> guard(lock_);
        hold_ = Hold::kReleased;
        changed_.notify_all();
    }
    // Bounded: a run that hangs fails the test instead of the suite.
    bool WaitForEnds(size_t count)
    {
        return Wait([&] { return std::count_if(states_.begin(), states_.end(), IsEnd) >= static_cast<long>(count); });
    }
    bool WaitForState(uint32_t state)
    {
        return Wait([&] { return std::find(states_.begin(), states_.end(), state) != states_.end(); });
    }

    static bool IsEnd(uint32_t state) { return state == 3 || state == 4; }
    std::vector<uint32_t> States() { return Locked(states_); }
    // The percentages reported since the last call.
    std::vector<uint32_t> TakePercents()
    {
        std::vector<uint32_t> taken;
        std::lock_guard<std::mutex> guard(lock_);
        taken.swap(percents_);
        return taken;
    }
    std::vector<uint32_t> Statuses(uint32_t showType) { return Locked(statuses_)[showType]; }
    std::vector<uint32_t> Totals()
    {
        const ScanStatusBlock last = Locked(last_);
        return {last.state, last.filesFound, last.level2Found, last.level3Found};
    }

private:
    enum class Hold { kNone, kArmed, kHolding, kReleased };
    enum class Gate { kNone, kWatching, kReached };
    template <class Done>
    bool Wait(Done done)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(90), done);
    }
    template <class T>
    T Locked(const T& value)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return value;
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<uint32_t> states_;
    std::vector<uint32_t> percents_;
    std::map<uint32_t, std::vector<uint32_t>> statuses_;
    ScanStatusBlock last_;
    Hold hold_ = Hold::kNone;
    Gate gate_ = Gate::kNone;
};

// Tells the recorder when a worker is about to wait at the pause gate.
class WatchedCtrl : public RCSafeTrevoxCtrl {
public:
    explicit WatchedCtrl(ScanRecorder& recorder) : recorder_(recorder) {}
    bool CheckStopped() override
    {
        recorder_.NoteGate();
        return RCSafeTrevoxCtrl::CheckStopped();
    }

private:
    ScanRecorder& recorder_;
};

std::vector<uint32_t> Row(const ItemProgressBlock& row)
{
    return {row.status, row.enumerated, row.scanned, row.level2, row.level3};
}

class RCSafeTrevoxCtrlTest : public testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring signatures = RCPathJoin(RCGetExeFolder(), L"signatures");
        CreateDirectoryW(signatures.c_str(), nullptr);
        std::ofstream(RCPathJoin(signatures, L"kivo-ctrl.hdb").c_str(), std::ios::binary) << kSignatures;
        folder_.Write(L"eicar.com", kEicar);
        folder_.Write(L"listed.exe", kListedTrojan);
        folder_.Write(L"adware.dll", kListedAdware);
        folder_.Write(L"clean.exe", "MZ nothing to see");
        folder_.Write(L"clean.sys", "MZ nothing here either");
        folder_.Write(L"readme.txt", "not a kind of file the engine is asked about");
        ASSERT_TRUE(ctrl_.Initialize(L"ctrl-test"));
        ctrl_.GetObserver()->SetCallback(&recorder_);
    }
    void TearDown() override
    {
        ctrl_.UnInitialize();
        DeleteFileW(RCPathJoin(RCGetExeFolder(), L"Quentor.ini").c_str());
    }

    void PlanFolder(int32_t scanType = 3)
    {
        ScanTypeInfo info;
        info.scanType = scanType;
        info.customPaths = {folder_.Path()};
        ctrl_.SetScanTypeInfo(info);
    }
    // The end state comes just before the run lets go of its flags, so a new
    // start may have to wait a moment.
    void Start()
    {
        for (int tries = 0; !ctrl_.StartScan(); ++tries) {
            ASSERT_LT(tries, 3000);
            Sleep(10);
        }
    }
    std::vector<uint32_t> ItemRowOf(uint32_t showType) { return Row(ctrl_.GetObserver()->GetItemProgress(showType)); }

    RC::test::ScratchDir folder_;
    ScanRecorder recorder_;
    WatchedCtrl ctrl_{recorder_};
};

} // namespace

#ifndef KIVO_NO_ENGINE

TEST_F(RCSafeTrevoxCtrlTest, CustomScanCountsEveryFileAndASecondRunStartsFromZero)
{
    PlanFolder();
    const std::vector<ScanItem> items = ctrl_.GetObserver()->GetItems();
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ(26u, items[0].showType);
    EXPECT_EQ(L"\u81EA\u5B9A\u4E49\u626B\u63CF\u9879", items[0].displayName);

    for (size_t run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Start();
        ASSERT_TRUE(recorder_.WaitForEnds(run));
        // Six files found (the text file too), five scanned, one risk and
        // two threats; the trojan list starts empty for each run.
        EXPECT_EQ(std::vector<uint32_t>({4, 6, 1, 2}), recorder_.Totals());
        EXPECT_EQ(std::vector<uint32_t>({3, 6, 5, 1, 2}), ItemRowOf(26));
        EXPECT_EQ(85u, ctrl_.GetObserver()->GetProgress().percent);  // 20 + (5 * 72 / 6) * 79 / 72
        const std::vector<uint32_t> percents = recorder_.TakePercents();
        ASSERT_FALSE(percents.empty());
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    }
    EXPECT_EQ(std::vector<uint32_t>({1, 4, 1, 4}), recorder_.States());
    EXPECT_EQ(std::vector<uint32_t>({1, 2, 3, 1, 2, 3}), recorder_.Statuses(26));

    // The threats, and only they, go to the engine for analysis.
    ctrl_.ForwardThreatPaths({1, 2, 3, 4, 5, 6, 7, 8});
    std::string forwarded;
    std::ifstream in(RCPathJoin(RCGetExeFolder(), L"Quentor-forwarded.txt").c_str(), std::ios::binary);
    forwarded.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    EXPECT_NE(std::string::npos, forwarded.find("eicar.com"));
    EXPECT_NE(std::string::npos, forwarded.find("listed.exe"));
    EXPECT_NE(std::string::npos, forwarded.find("adware.dll"));
    EXPECT_EQ(std::string::npos, forwarded.find("clean."));
}

TEST_F(RCSafeTrevoxCtrlTest, StopBeforeTheQueryThreadStartsScansNothing)
{
    PlanFolder();
    Start();
    ctrl_.StopScan();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(std::vector<uint32_t>({1, 3}), recorder_.States());
    EXPECT_EQ(std::vector<uint32_t>({3, 0, 0, 0}), recorder_.Totals());
    EXPECT_TRUE(recorder_.Statuses(26).empty());
}

TEST_F(RCSafeTrevoxCtrlTest, SuspendedTwiceTheRunGoesOnAfterOneResume)
{
    recorder_.HoldFirstItem();
    PlanFolder();
    Start();
    ASSERT_TRUE(recorder_.WaitUntilHeld());
    EXPECT_TRUE(ctrl_.SuspendScan());
    EXPECT_TRUE(ctrl_.SuspendScan());
    recorder_.WatchGate();
    recorder_.Release();
    ASSERT_TRUE(recorder_.WaitAtGate());  // the enumeration thread waits there now
    EXPECT_TRUE(ctrl_.ResumeScan());
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(std::vector<uint32_t>({1, 2, 2, 1, 4}), recorder_.States());
    EXPECT_EQ(std::vector<uint32_t>({4, 6, 1, 2}), recorder_.Totals());
}

TEST_F(RCSafeTrevoxCtrlTest, StopWhileSuspendedReleasesTheWorkers)
{
    recorder_.HoldFirstItem();
    PlanFolder();
    Start();
    ASSERT_TRUE(recorder_.WaitUntilHeld());
    EXPECT_TRUE(ctrl_.SuspendScan());
    recorder_.WatchGate();
    recorder_.Release();
    ASSERT_TRUE(recorder_.WaitAtGate());
    ctrl_.StopScan();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(std::vector<uint32_t>({1, 2, 3}), recorder_.States());
    EXPECT_EQ(std::vector<uint32_t>({3, 0, 0, 0}), recorder_.Totals());
    EXPECT_EQ(std::vector<uint32_t>({1, 2, 3}), recorder_.Statuses(26));  // its marker still passes
}

TEST_F(RCSafeTrevoxCtrlTest, ANewPlanDuringARunChangesNothing)
{
    // One file is never answered, so the run lasts until it is stopped.
    std::ofstream(RCPathJoin(RCGetExeFolder(), L"Quentor.ini").c_str(), std::ios::binary) << "NeverAnswer=clean.exe\n";
    PlanFolder();
    Start();
    ASSERT_TRUE(recorder_.WaitForState(1));
    ScanTypeInfo memory;
    memory.scanType = 5;
    ctrl_.SetScanTypeInfo(memory);
    ASSERT_EQ(1u, ctrl_.GetObserver()->GetItems().size());
    EXPECT_EQ(26u, ctrl_.GetObserver()->GetItems()[0].showType);
    EXPECT_FALSE(ctrl_.StartScan());

    ctrl_.StopScan();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(3u, recorder_.Totals()[0]);
    EXPECT_FALSE(ctrl_.SuspendScan());
    EXPECT_FALSE(ctrl_.ResumeScan());
    ctrl_.SetScanTypeInfo(memory);  // between runs a new plan is taken
    ASSERT_EQ(1u, ctrl_.GetObserver()->GetItems().size());
    EXPECT_EQ(17u, ctrl_.GetObserver()->GetItems()[0].showType);
}

TEST_F(RCSafeTrevoxCtrlTest, RandomLifecycleCallsEndEveryRunExactlyOnce)
{
    std::mt19937 random(20240611);
    constexpr size_t kRuns = 40;
    PlanFolder();
    for (size_t run = 1; run <= kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Start();
        bool suspended = false;
        bool stopped = false;
        for (int step = random() % 5; step > 0; --step) {
            switch (random() % 4) {
            case 0:
                suspended = ctrl_.SuspendScan() || suspended;
                break;
            case 1:
                if (ctrl_.ResumeScan())
                    suspended = false;
                break;
            case 2:
                ctrl_.StopScan();
                stopped = true;
                break;
            default:
                Sleep(random() % 20);
            }
        }
        if (suspended)
            ctrl_.ResumeScan();
        ASSERT_TRUE(recorder_.WaitForEnds(run));
        if (!stopped) {
            EXPECT_EQ(4u, recorder_.States().back());
        }
    }
    // One end per run, and nothing after an end but the next run's start.
    const std::vector<uint32_t> states = recorder_.States();
    EXPECT_EQ(kRuns, static_cast<size_t>(std::count_if(states.begin(), states.end(), ScanRecorder::IsEnd)));
    for (size_t i = 0; i + 1 < states.size(); ++i) {
        if (ScanRecorder::IsEnd(states[i])) {
            EXPECT_EQ(1u, states[i + 1]) << "after state " << i;
        }
    }
}

#else

TEST_F(RCSafeTrevoxCtrlTest, WithoutTheEngineEveryFileCompletesClean)
{
    PlanFolder();
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(std::vector<uint32_t>({1, 4}), recorder_.States());
    EXPECT_EQ(std::vector<uint32_t>({4, 6, 0, 0}), recorder_.Totals());
    EXPECT_EQ(std::vector<uint32_t>({3, 6, 5, 0, 0}), ItemRowOf(26));
}

#endif
