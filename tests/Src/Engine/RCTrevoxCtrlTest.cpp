// Whole runs of the scan controller over a planted folder, with the
// substitute engine beside this program (built as the no-engine program:
// with no engine at all).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>

#include <shlobj.h>
#include <wrl/client.h>

#include <iomanip>
#include <sstream>

#include "Src/Engine/RCTrevoxCtrl.h"
#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCOleInit.h"
#include "foundation/RCPath.h"
#include "foundation/RCString.h"
#include "substitute/FileHasher.h"
#include "support/TestData.h"

using namespace RC;
using KivoTest::kEicar;
using Values = std::vector<uint32_t>;

namespace {

const char kSignatures[] = "fab8f3e60b0ba1d4f8f152b7ee446062:43:Win.Trojan.KivoCtrl-1\n"
                           "3816dbdc32a1a51e7dda1db70e4b01bf:43:PUA.Win.Adware.KivoCtrl-1\n";

bool IsEnd(uint32_t state)
{
    return state == 3 || state == 4;
}

// What the run reported. It can hold the enumeration thread in the run's
// first item status, and note when a worker next asks at the pause gate.
class ScanRecorder : public IScanObCallback {
public:
    void OnScanStateChange(const ScanStatusBlock* s) override
    {
        Note([&] { states.push_back(s->state), totals = {s->state, s->filesFound, s->level2Found, s->level3Found}; });
    }
    void OnScanProgressChange(const ScanProgressBlock* p) override { Note([&] { percents.push_back(p->percent); }); }
    void OnItemStatusChange(uint32_t showType, const ItemStatusBlock* s) override
    {
        std::unique_lock<std::mutex> guard(lock_);
        statuses[showType].push_back(s->status);
        if (hold == 1) {
            hold = 2;
            changed_.notify_all();
            changed_.wait(guard, [&] { return hold == 3; });
        }
    }
    void OnItemProgressChange(uint32_t, const ItemProgressBlock*) override {}
    void NoteGate() { Note([&] { gate = gate == 1 ? 2 : gate; }); }

    // Bounded, so that a run that hangs fails its test.
    bool WaitUntil(const std::function<bool()>& done)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(90), done);
    }
    bool WaitForEnds(long count)
    {
        return WaitUntil([&] { return std::count_if(states.begin(), states.end(), IsEnd) >= count; });
    }
    void Set(int& field, int value) { Note([&] { field = value; }); }
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

    Values states, percents, totals;
    std::map<uint32_t, Values> statuses;
    int hold = 0;  // 1 armed, 2 holding, 3 released
    int gate = 0;  // 1 watching, 2 a worker came

private:
    std::mutex lock_;
    std::condition_variable changed_;
};

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
        Plan(3);
    }
    void TearDown() override
    {
        ctrl_.UnInitialize();
        DeleteFileW(RCPathJoin(RCGetExeFolder(), L"Quentor.ini").c_str());
    }

    void Plan(int32_t scanType)
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
    // Suspended while the enumeration thread is in the first item, which
    // then waits at the gate.
    void SuspendInFirstItem(int suspends)
    {
        recorder_.Set(recorder_.hold, 1);
        Start();
        ASSERT_TRUE(recorder_.WaitUntil([&] { return recorder_.hold == 2; }));
        for (int i = 0; i < suspends; ++i)
            EXPECT_TRUE(ctrl_.SuspendScan());
        recorder_.Set(recorder_.gate, 1);
        recorder_.Set(recorder_.hold, 3);
        ASSERT_TRUE(recorder_.WaitUntil([&] { return recorder_.gate == 2; }));
    }
    Values ItemRow(uint32_t showType)
    {
        const ItemProgressBlock row = ctrl_.GetObserver()->GetItemProgress(showType);
        return {row.status, row.enumerated, row.scanned, row.level2, row.level3};
    }

    RC::test::ScratchDir folder_;
    ScanRecorder recorder_;
    WatchedCtrl ctrl_{recorder_};
};

} // namespace

#ifndef KIVO_NO_ENGINE

TEST_F(RCSafeTrevoxCtrlTest, CustomScanCountsEveryFileAndASecondRunStartsFromZero)
{
    ASSERT_EQ(1u, ctrl_.GetObserver()->GetItems().size());
    EXPECT_EQ(L"\u81EA\u5B9A\u4E49\u626B\u63CF\u9879", ctrl_.GetObserver()->GetItems()[0].displayName);
    for (long run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Start();
        ASSERT_TRUE(recorder_.WaitForEnds(run));
        // Six files found (the text file too), five scanned, one risk and two
        // threats; the trojan list starts empty for each run.
        EXPECT_EQ(Values({4, 6, 1, 2}), recorder_.Get(recorder_.totals));
        EXPECT_EQ(Values({3, 6, 5, 1, 2}), ItemRow(26));
        EXPECT_EQ(85u, ctrl_.GetObserver()->GetProgress().percent);  // 20 + (5 * 72 / 6) * 79 / 72
        const Values percents = recorder_.Get(recorder_.percents);
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        recorder_.Note([&] { recorder_.percents.clear(); });
    }
    EXPECT_EQ(Values({1, 4, 1, 4}), recorder_.Get(recorder_.states));
    EXPECT_EQ(Values({1, 2, 3, 1, 2, 3}), recorder_.Get(recorder_.statuses)[26]);

}

// A quick scan reaches what starts at logon: the target of a Run value and
// of a startup shortcut, in a folder no quick-scan root covers.
TEST_F(RCSafeTrevoxCtrlTest, QuickScanFindsTheTargetsOfARunValueAndAStartupShortcut)
{
    const std::wstring viaRun = folder_.Write(L"run-target.exe", kEicar);
    const std::wstring viaLink = folder_.Write(L"link-target.exe", kEicar);
    const wchar_t* const runKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    const std::wstring value = RC::test::UniqueName(L"KivoQuick");
    const std::wstring command = L"\"" + viaRun + L"\" /background";
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_LOCAL_MACHINE, runKey, value.c_str(), REG_SZ, command.c_str(),
                                             static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))));
    std::wstring startup;
    ASSERT_TRUE(RCGetSpecialFolder(CSIDL_STARTUP, startup));
    const std::wstring link = RCPathJoin(startup, value + L".lnk");
    {
        RCOleInit ole;
        Microsoft::WRL::ComPtr<IShellLinkW> shell;
        ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shell))));
        shell->SetPath(viaLink.c_str());
        Microsoft::WRL::ComPtr<IPersistFile> file;
        ASSERT_TRUE(SUCCEEDED(shell.As(&file)) && SUCCEEDED(file->Save(link.c_str(), TRUE)));
    }

    Plan(1);
    Start();
    const bool ended = recorder_.WaitForEnds(1);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, runKey, value.c_str());
    DeleteFileW(link.c_str());
    ASSERT_TRUE(ended);
    EXPECT_EQ(4u, recorder_.Get(recorder_.states).back());
    const std::vector<std::wstring> threats = ctrl_.GetTrojaneList()->ThreatPaths();
    for (const std::wstring& planted : {viaRun, viaLink})
        EXPECT_EQ(1, std::count_if(threats.begin(), threats.end(), [&](const std::wstring& threat) {
                      return RCEqualsNoCase(threat, planted);
                  })) << std::string(planted.begin(), planted.end());
}

// A memory scan reaches a library that another process holds loaded.
TEST_F(RCSafeTrevoxCtrlTest, MemoryScanFindsALibraryAnotherProcessHoldsLoaded)
{
    std::wstring tree = RCGetExeFolder();  // ...\scan_controller_tests\ in the tree's folder
    tree.resize(tree.find_last_of(L'\\', tree.size() - 2) + 1);
    const std::wstring probe = tree + L"KivoMemProbe.dll";
    std::ifstream in(probe.c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    Substitute::FileHasher hasher;
    ASSERT_TRUE(hasher.Begin({true, false, false}));
    ASSERT_TRUE(hasher.Update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) && hasher.Finish());
    std::ostringstream signature;
    for (int i = 0; i < 16; ++i)
        signature << std::hex << std::setw(2) << std::setfill('0') << int(hasher.Digest(Substitute::HashKind::Md5)[i]);
    signature << ":" << std::dec << bytes.size() << ":Win.Trojan.KivoMemProbe-1\n";
    const std::wstring database = RCPathJoin(RCGetExeFolder(), L"signatures\\kivo-memory.hdb");
    std::ofstream(database.c_str(), std::ios::binary) << signature.str();

    RC::test::ModuleHost host(probe, tree);
    ASSERT_TRUE(host.Ready());
    Plan(5);
    Start();
    const bool ended = recorder_.WaitForEnds(1);
    DeleteFileW(database.c_str());
    ASSERT_TRUE(ended);
    EXPECT_EQ(Values({1, 4}), recorder_.Get(recorder_.states));
    const std::vector<std::wstring> threats = ctrl_.GetTrojaneList()->ThreatPaths();
    EXPECT_EQ(1, std::count_if(threats.begin(), threats.end(),
                               [&](const std::wstring& threat) { return RCEqualsNoCase(threat, probe); }));
}

// A full scan walks every disk of the prefix to its end and finds what the
// custom scan found there.
TEST_F(RCSafeTrevoxCtrlTest, FullScanCompletesOverTheWholeDisk)
{
    Plan(2);
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(4u, recorder_.Get(recorder_.states).back());
    EXPECT_EQ(3u, ItemRow(25)[0]);
    EXPECT_GE(recorder_.Get(recorder_.totals)[3], 2u);  // the planted threats at least
}

TEST_F(RCSafeTrevoxCtrlTest, StopBeforeTheQueryThreadStartsScansNothing)
{
    Start();
    ctrl_.StopScan();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(Values({1, 3}), recorder_.Get(recorder_.states));
    EXPECT_EQ(Values({3, 0, 0, 0}), recorder_.Get(recorder_.totals));
    EXPECT_TRUE(recorder_.Get(recorder_.statuses).empty());
}

TEST_F(RCSafeTrevoxCtrlTest, SuspendedTwiceTheRunGoesOnAfterOneResume)
{
    SuspendInFirstItem(2);
    EXPECT_TRUE(ctrl_.ResumeScan());
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(Values({1, 2, 2, 1, 4}), recorder_.Get(recorder_.states));
    EXPECT_EQ(Values({4, 6, 1, 2}), recorder_.Get(recorder_.totals));
}

TEST_F(RCSafeTrevoxCtrlTest, StopWhileSuspendedReleasesTheWorkers)
{
    SuspendInFirstItem(1);
    ctrl_.StopScan();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(Values({1, 2, 3}), recorder_.Get(recorder_.states));
    EXPECT_EQ(Values({3, 0, 0, 0}), recorder_.Get(recorder_.totals));
    EXPECT_EQ(Values({1, 2, 3}), recorder_.Get(recorder_.statuses)[26]);  // its end marker still passes
    EXPECT_FALSE(ctrl_.SuspendScan());
    EXPECT_FALSE(ctrl_.ResumeScan());
}

TEST_F(RCSafeTrevoxCtrlTest, ANewPlanDuringARunChangesNothing)
{
    // One file is never answered, so the run lasts until it is stopped.
    std::ofstream(RCPathJoin(RCGetExeFolder(), L"Quentor.ini").c_str(), std::ios::binary) << "NeverAnswer=clean.exe\n";
    Start();
    ASSERT_TRUE(recorder_.WaitUntil([&] { return !recorder_.states.empty(); }));
    Plan(5);
    EXPECT_EQ(26u, ctrl_.GetObserver()->GetItems().at(0).showType);
    EXPECT_FALSE(ctrl_.StartScan());
    ctrl_.StopScan();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(3u, recorder_.Get(recorder_.states).back());
    Plan(5);  // between runs a new plan is taken
    EXPECT_EQ(17u, ctrl_.GetObserver()->GetItems().at(0).showType);
}

TEST_F(RCSafeTrevoxCtrlTest, RandomLifecycleCallsEndEveryRunExactlyOnce)
{
    std::mt19937 random(20240611);
    constexpr long kRuns = 40;
    for (long run = 1; run <= kRuns; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        Start();
        bool suspended = false, stopped = false;
        for (int step = random() % 5; step > 0; --step) {
            const unsigned call = random() % 4;
            if (call == 0)
                suspended = ctrl_.SuspendScan() || suspended;
            else if (call == 1)
                suspended = suspended && !ctrl_.ResumeScan();
            else if (call == 2)
                ctrl_.StopScan(), stopped = true;
            else
                Sleep(random() % 20);
        }
        if (suspended)
            ctrl_.ResumeScan();
        ASSERT_TRUE(recorder_.WaitForEnds(run));
        EXPECT_TRUE(stopped || recorder_.Get(recorder_.states).back() == 4);
    }
    // One end per run, and nothing after an end but the next run's start.
    const Values states = recorder_.Get(recorder_.states);
    EXPECT_EQ(kRuns, std::count_if(states.begin(), states.end(), IsEnd));
    for (size_t i = 0; i + 1 < states.size(); ++i)
        EXPECT_TRUE(!IsEnd(states[i]) || states[i + 1] == 1) << "after state " << i;
}

#else

TEST_F(RCSafeTrevoxCtrlTest, WithoutTheEngineEveryFileCompletesClean)
{
    Start();
    ASSERT_TRUE(recorder_.WaitForEnds(1));
    EXPECT_EQ(Values({1, 4}), recorder_.Get(recorder_.states));
    EXPECT_EQ(Values({4, 6, 0, 0}), recorder_.Get(recorder_.totals));
    EXPECT_EQ(Values({3, 6, 5, 0, 0}), ItemRow(26));
}

#endif
