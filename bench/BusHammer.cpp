// Random task requests over the reference bus: three scan tasks at once,
// each round driven by setup, start, suspend, resume, stop, operate and
// cancel-operate requests in random order, with module stops and starts in
// between. Every started run must end in exactly one end state and every
// operation with its end event, each within a bound, and the process's
// handles and memory must stay flat from round 100 to the last (a shorter
// run judges its handles from a third of its rounds on).
//   bus-hammer [ROUNDS [SEED]]   (default 1000 rounds; exit 1 on a hang, a
//                                 second end, a lost end or growth)
//
// The bus runs in its harsh mode (the gentle one when BUS_HAMMER_GENTLE is
// set): consecutive deliveries on different
// threads of its pool, its own lock held while it delivers and taken by the
// module's posts, and the library freed right after the module's release.
//
// Threads: wmain posts every request and hands the cancel-operate request
// over itself, between two deliveries; the bus's delivery threads run the
// module's handlers one at a time (so a suspend and its resume usually come
// from different threads) and the listener, which counts the tasks' events.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/ProcessSample.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCPath.h"
#include "host/RCBus.h"
#include "host/RCModuleLibrary.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"

namespace {

using KivoBench::ProcessSample;
using KivoHost::RCBusMessage;

constexpr int kTasks = 3;
constexpr auto kBound = std::chrono::seconds(60);
constexpr DWORD kHandleMargin = 8;
constexpr double kMemoryMarginMiB = 4.0;
const wchar_t kEicar[] = L"X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

struct TaskCounts {
    // Runs begun: a start clears the peers' view (state 0) before its run's
    // states; a start that finds a run under way (not yet begun, or
    // running) clears it as well but begins nothing.
    long starts = 0;
    bool inRun = false;
    long completed = 0;
    long stopped = 0;
    long operations = 0; // begin events
    long operationEnds = 0;
    std::vector<uint32_t> threats; // query ids reported, for operate requests

    long ends() const { return completed + stopped; }
};

// Counts each task's events as the bus delivers them.
class EventCounter {
public:
    void OnMessage(const RCBusMessage& message)
    {
        const std::vector<uint8_t>* data = message.binary(L"SafeData");
        if (data == nullptr)
            return;
        std::lock_guard<std::mutex> guard(lock_);
        RC::ScanStateEvent state;
        RC::OperateStateEvent operate;
        RC::ThreatFoundEvent threat;
        if (message.id() == RC::EVT_SCAN_STATE && RC::RCDecodeRecord(state, *data)) {
            if (TaskCounts* task = Find(state.taskId)) {
                if (state.state == RC::ScanState::NotStarted && !task->inRun)
                    task->inRun = true, ++task->starts;
                if (state.state == RC::ScanState::Stopped || state.state == RC::ScanState::Completed)
                    task->inRun = false;
                task->completed += state.state == RC::ScanState::Completed;
                task->stopped += state.state == RC::ScanState::Stopped;
            }
        } else if (message.id() == RC::EVT_OPERATE_STATE && RC::RCDecodeRecord(operate, *data)) {
            if (TaskCounts* task = Find(operate.taskId)) {
                task->operations += operate.phase == RC::OperatePhase::Started;
                task->operationEnds += operate.phase == RC::OperatePhase::Finished;
            }
        } else if (message.id() == RC::EVT_THREAT_FOUND && RC::RCDecodeRecord(threat, *data)) {
            if (TaskCounts* task = Find(threat.taskId)) {
                if (task->threats.size() == 8) // the latest runs' ids are the ones still listed
                    task->threats.erase(task->threats.begin());
                task->threats.push_back(threat.queryId);
            }
        }
        changed_.notify_all();
    }

    // True once every run and operation begun so far has its end; false
    // after the bound. A second end shows as more ends than beginnings.
    bool WaitSettled()
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait_for(guard, kBound, [&] { return std::all_of(tasks_, tasks_ + kTasks, Reached); });
        return std::all_of(tasks_, tasks_ + kTasks, [](const TaskCounts& task) {
            return task.ends() == task.starts && task.operationEnds == task.operations;
        });
    }
    std::vector<uint32_t> Threats(int task)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return tasks_[task].threats;
    }
    TaskCounts Total()
    {
        std::lock_guard<std::mutex> guard(lock_);
        TaskCounts total;
        for (const TaskCounts& task : tasks_) {
            total.starts += task.starts, total.completed += task.completed, total.stopped += task.stopped;
            total.operations += task.operations, total.operationEnds += task.operationEnds;
        }
        return total;
    }
    void Print(FILE* out)
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (int i = 0; i < kTasks; ++i)
            std::fwprintf(out, L"  task %d: %ld runs started, %ld completed, %ld stopped; %ld operations, %ld ended\n",
                          i, tasks_[i].starts, tasks_[i].completed, tasks_[i].stopped, tasks_[i].operations,
                          tasks_[i].operationEnds);
    }

    static std::wstring TaskId(int task) { return L"hammer" + std::to_wstring(task); }

private:
    static bool Reached(const TaskCounts& task)
    {
        return task.ends() >= task.starts && task.operationEnds >= task.operations;
    }
    TaskCounts* Find(const std::wstring& taskId)
    {
        for (int i = 0; i < kTasks; ++i)
            if (taskId == TaskId(i))
                return &tasks_[i];
        return nullptr;
    }

    std::mutex lock_;
    std::condition_variable changed_;
    TaskCounts tasks_[kTasks];
};

// A hung worker would hold up every destructor: leave at once.
[[noreturn]] void Fail()
{
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 1);
    std::abort();
}

// Bounds what the main thread cannot bound itself (a request handler or a
// module stop that never returns holds up the bus's WaitIdle): a round that
// makes no progress for longer than any of its waits may take fails.
class Watchdog {
public:
    explicit Watchdog(unsigned long seed) : seed_(seed), thread_([this] { Run(); }) {}
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            done_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    void Round(long round)
    {
        std::lock_guard<std::mutex> guard(lock_);
        round_ = round;
        beat_ = std::chrono::steady_clock::now();
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> guard(lock_);
        while (!changed_.wait_for(guard, std::chrono::seconds(1), [this] { return done_; })) {
            if (std::chrono::steady_clock::now() - beat_ > kBound + std::chrono::seconds(30)) {
                std::fwprintf(stderr, L"bus-hammer: round %ld (seed %lu) hangs: no progress for %lld s\n", round_,
                              seed_, static_cast<long long>((kBound + std::chrono::seconds(30)).count()));
                Fail();
            }
        }
    }

    const unsigned long seed_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool done_ = false;
    long round_ = 0;
    std::chrono::steady_clock::time_point beat_ = std::chrono::steady_clock::now();
    std::thread thread_;
};

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    RC::unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// A folder per task: a test virus (quarantined and restored by the
// operations), a few files the engine is asked about and one the filter skips.
std::wstring PlantFolder(const std::wstring& root, int task)
{
    const std::wstring folder = root + L"\\t" + std::to_wstring(task);
    CreateDirectoryW(folder.c_str(), nullptr);
    WriteBytes(folder + L"\\virus.com", std::string(kEicar, kEicar + wcslen(kEicar)));
    const wchar_t* const kinds[] = {L"exe", L"dll", L"sys", L"txt"};
    for (int i = 0; i < 8; ++i)
        WriteBytes(folder + L"\\f" + std::to_wstring(i) + L"." + kinds[i % 4],
                   std::string(512 + 97 * i, static_cast<char>('a' + i)));
    return folder;
}

void RemoveFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    RC::unique_hfind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (find) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolder(folder + L"\\" + name);
            else
                DeleteFileW((folder + L"\\" + name).c_str());
        } while (FindNextFileW(find.get(), &found));
    }
    find.reset();
    RemoveDirectoryW(folder.c_str());
}

ProcessSample Measure(long round)
{
    const ProcessSample sample = KivoBench::SampleProcess();
    std::fwprintf(stderr, L"round %ld: handles %lu, private bytes %.1f MiB, working set %.1f MiB\n", round,
                  sample.handles, sample.privateMiB, sample.workingSetMiB);
    return sample;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const long rounds = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 1000;
    const unsigned long seed = argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : GetTickCount();
    if (rounds < 10) {
        std::fwprintf(stderr, L"usage: bus-hammer [ROUNDS (at least 10) [SEED]]\n");
        return 2;
    }
    // The heaps settle over the first hundred rounds or so: a shorter run
    // judges the handles from a third of its rounds on, not the memory.
    const long baseline = std::min(100L, rounds / 3);
    const bool judgeMemory = baseline == 100;

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"KivoHammer" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(root.c_str(), nullptr);
    std::vector<std::wstring> folders;
    for (int i = 0; i < kTasks; ++i)
        folders.push_back(PlantFolder(root, i));

    KivoHost::RCModuleLibrary library;
    if (!library.Load(RCPathJoin(RCGetExeFolder(), L"RCTrevox.dll"))) {
        std::fwprintf(stderr, L"bus-hammer: %ls\n", library.error().c_str());
        return 2;
    }
    RC::DmAvCore::IVBusModule* module = library.QueryModule(0);
    if (module == nullptr) {
        std::fwprintf(stderr, L"bus-hammer: the library handed out no module\n");
        return 2;
    }
    std::fwprintf(stderr, L"bus-hammer: %ld rounds, %d tasks, seed %lu\n", rounds, kTasks, seed);

    EventCounter counter;
    const auto started = std::chrono::steady_clock::now();
    long restarts = 0;
    ProcessSample first, last;
    const KivoHost::RCBusMode mode =
        _wgetenv(L"BUS_HAMMER_GENTLE") ? KivoHost::RCBusMode::Gentle : KivoHost::RCBusMode::Harsh;
    {
        KivoHost::RCBus bus(mode); // destroyed before the library it calls into
        bus.AddListener([&](const RCBusMessage& message) { counter.OnMessage(message); });
        module->Attach(bus.HostFor(module), L"");
        bus.Post(RC::MSG_MODULE_START, L"", L"");

        Watchdog watchdog(seed);
        std::mt19937 random(seed);
        const auto request = [&](const std::wstring& id, const std::vector<uint8_t>& record) {
            bus.Post(id, L"bus-hammer", L"peer", &record);
        };
        const auto setup = [&](int task) {
            request(RC::REQ_TASK_SETUP, RC::RCEncodeRecord(RC::TaskSetupRequest{
                                            EventCounter::TaskId(task), RC::ScanType::Custom, {folders[task]}}));
        };
        const auto command = [&](int task, RC::Command code) {
            request(RC::REQ_TASK_COMMAND, RC::RCEncodeRecord(RC::TaskCommandRequest{EventCounter::TaskId(task), code}));
        };
        for (long round = 1; round <= rounds; ++round) {
            watchdog.Round(round);
            if (round > 1 && random() % 10 == 0) {
                bus.Post(RC::MSG_MODULE_STOP, L"", L"");
                bus.Post(RC::MSG_MODULE_START, L"", L"");
                ++restarts;
            }
            for (int step = 1 + random() % 8; step > 0; --step) {
                const int task = random() % kTasks;
                const std::wstring taskId = EventCounter::TaskId(task);
                switch (random() % 10) {
                case 0:
                case 1:
                    setup(task);
                    break;
                case 2:
                case 3:
                    command(task, RC::Command::Start);
                    break;
                case 4:
                    command(task, RC::Command::Stop);
                    break;
                case 5:
                    command(task, RC::Command::Suspend);
                    break;
                case 6:
                    command(task, RC::Command::Resume);
                    break;
                case 7: {
                    // Quarantine or restore what the task found, and an id it never reported.
                    std::vector<uint32_t> ids = counter.Threats(task);
                    ids.push_back(0x7FFFFFFF);
                    std::shuffle(ids.begin(), ids.end(), random);
                    ids.resize(random() % (ids.size() + 1));
                    const RC::Operation operation = random() % 2 ? RC::Operation::Quarantine : RC::Operation::Restore;
                    request(RC::REQ_TASK_OPERATE, RC::RCEncodeRecord(RC::TaskOperateRequest{taskId, operation, ids}));
                    break;
                }
                case 8: {
                    // Not subscribed: handed over between two deliveries, as a bus does.
                    bus.WaitIdle();
                    const std::vector<uint8_t> record = RC::RCEncodeRecord(RC::TaskCancelOperateRequest{taskId});
                    module->OnReceiveMessage(L"bus-hammer", L"peer", RC::REQ_TASK_CANCEL_OPERATE, nullptr,
                                             record.data(), static_cast<uint32_t>(record.size()));
                    break;
                }
                default:
                    Sleep(random() % 20);
                }
            }
            // A suspended run ends only once resumed.
            for (int task = 0; task < kTasks; ++task)
                command(task, RC::Command::Resume);
            bus.WaitIdle(); // every start answered
            if (!counter.WaitSettled()) {
                std::fwprintf(stderr,
                              L"bus-hammer: round %ld (seed %lu): runs or operations without exactly one "
                              L"end within %lld s\n",
                              round, seed, static_cast<long long>(std::chrono::seconds(kBound).count()));
                counter.Print(stderr);
                Fail();
            }
            if (round % baseline == 0 || round == rounds) {
                // Measured in one state each time: the module freshly
                // started, every task with a new controller (a controller
                // keeps threads and events from its first run on).
                bus.Post(RC::MSG_MODULE_STOP, L"", L"");
                bus.Post(RC::MSG_MODULE_START, L"", L"");
                for (int task = 0; task < kTasks; ++task)
                    setup(task);
                bus.WaitIdle();
                (round == baseline ? first : last) = Measure(round);
            }
        }
        // A late second end of the last round would show here.
        watchdog.Round(rounds + 1);
        Sleep(500);
        bus.WaitIdle();
        if (!counter.WaitSettled()) {
            std::fwprintf(stderr, L"bus-hammer: a second end after the last round (seed %lu)\n", seed);
            counter.Print(stderr);
            Fail();
        }
        bus.Post(RC::MSG_MODULE_STOP, L"", L"");
        bus.WaitIdle();
        module->Detach();
    }
    if (mode == KivoHost::RCBusMode::Harsh)
        library.ReleaseModuleAndFree(0, module);
    else
        library.ReleaseModule(0, module);
    RemoveFolder(root);

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const TaskCounts total = counter.Total();
    const bool grew = last.handles > first.handles + kHandleMargin ||
                      (judgeMemory && (last.privateMiB > first.privateMiB + kMemoryMarginMiB ||
                                       last.workingSetMiB > first.workingSetMiB + kMemoryMarginMiB));
    std::fwprintf(stderr,
                  L"bus-hammer: %ld rounds in %.1f s (seed %lu), %ld module restarts; %ld runs started, "
                  L"%ld completed, %ld stopped; %ld operations, %ld ended; from round %ld to round %ld: handles "
                  L"%+ld, private bytes %+.1f MiB, working set %+.1f MiB%ls%ls\n",
                  rounds, seconds, seed, restarts, total.starts, total.completed, total.stopped, total.operations,
                  total.operationEnds, baseline, rounds,
                  static_cast<long>(last.handles) - static_cast<long>(first.handles),
                  last.privateMiB - first.privateMiB, last.workingSetMiB - first.workingSetMiB,
                  judgeMemory ? L"" : L" (memory not judged before round 100)", grew ? L": GREW" : L"");
    return grew ? 1 : 0;
}
