// The scheduled-task walk through real COM activation: Task Scheduler 2.0
// against FakeTaskService.dll, registered for the scheduler's class for the
// length of a test (Wine's own service lists no tasks), and Task Scheduler
// 1.0 against Wine's mstask and then the same fake in system_task_walker.exe,
// run under a Windows version that Wine sets for that program alone.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <initguid.h>
#include <mstask.h>
#include <wrl/client.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Src/Engine/Enumerator/RCAvEnumSystemTask.h"
#include "EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCOleInit.h"

using namespace RC;
using namespace RC::test;
using Microsoft::WRL::ComPtr;
using testing::ElementsAre;
using testing::IsSupersetOf;

namespace {

std::vector<std::wstring> Walk(size_t acceptCount = static_cast<size_t>(-1))
{
    RecordingSink sink;
    sink.acceptCount = acceptCount;
    RCRefPtr<RCAvEnumSystemTask> walker(new RCAvEnumSystemTask(0x02, 24));
    EXPECT_EQ(walker->GetScanGroup(), 0x20);
    return RunOnce(walker.Get(), sink);
}

TEST(RCAvEnumSystemTaskTest, TaskScheduler2ReportsTheFirstProgramOfEveryTaskSubFoldersFirst)
{
    // The fake's tasks name programs without a folder, found along PATH.
    ScratchDir dir;
    ScratchPath path(dir.Path());
    std::vector<std::wstring> programs;
    for (const wchar_t* name : {L"deep.exe", L"first.exe", L"second.exe", L"hidden.exe", L"real.exe", L"plain.exe"})
        programs.push_back(dir.Write(name));
    // Wine's COM reads classes from HKLM\Software\Classes alone (a per-user
    // registration is not seen), so the machine's own server is put back after.
    ScratchValue fake(HKEY_LOCAL_MACHINE,
                      L"Software\\Classes\\CLSID\\{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}\\InProcServer32", L"",
                      RCGetExeFolder() + L"FakeTaskService.dll", KEY_WOW64_32KEY);
    ASSERT_EQ(ERROR_SUCCESS, fake.Status());

    EXPECT_THAT(Walk(), ElementsAre(programs[0], programs[1], programs[3], programs[4], programs[5]));
    // A refusal ends the walk: the outer folders' tasks are not looked at.
    EXPECT_THAT(Walk(0), ElementsAre(programs[0]));
}

// Runs system_task_walker.exe; its lines: the fake's, "major N", the paths.
std::vector<std::wstring> RunWalker(const std::wstring& arguments = L"")
{
    const std::wstring command = RCGetExeFolder() + L"system_task_walker.exe" + arguments;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::_wpopen(command.c_str(), L"rb"), ::_pclose);
    std::vector<std::wstring> lines(1);
    for (wchar_t unit; pipe && std::fread(&unit, sizeof(unit), 1, pipe.get()) == 1;) {
        if (unit == L'\n')
            lines.emplace_back();
        else
            lines.back() += unit;
    }
    lines.pop_back();
    return lines;
}

// A job of the test's own in the scheduler's folder, deleted afterwards.
struct ScratchJob {
    ~ScratchJob()
    {
        if (scheduler)
            scheduler->Delete(name.c_str());
    }
    RCOleInit ole;
    std::wstring name = UniqueName(L"KivoJob");
    ComPtr<ITaskScheduler> scheduler;
};

TEST(RCAvEnumSystemTaskTest, TaskScheduler1OnMajorVersion5AndNothingOnOtherVersions)
{
    // Wine's own scheduler finds a work item only by its name without ".job".
    ScratchDir dir;
    ScratchJob wineJob;
    const std::wstring program = dir.Write(wineJob.name + L".exe", "x");
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                       reinterpret_cast<void**>(wineJob.scheduler.GetAddressOf())));
    ComPtr<ITask> task;
    ASSERT_EQ(S_OK, wineJob.scheduler->NewWorkItem(wineJob.name.c_str(), CLSID_CTask, IID_ITask,
                                                   reinterpret_cast<IUnknown**>(task.GetAddressOf())));
    ASSERT_EQ(S_OK, task->SetApplicationName(program.c_str()));
    ComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, task.As(&file));
    ASSERT_EQ(S_OK, file->Save(nullptr, TRUE));

    ScratchKey appDefaults(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults", false, L"system_task_walker.exe");
    appDefaults.SetText(L"", L"Version", L"winxp");
    EXPECT_THAT(RunWalker(), IsSupersetOf({std::wstring(L"major 5"), program}));

    // The fake's seven work items, each batch of five from its last to its first;
    // a stop taken with the first path ends the batch and the walk.
    ScratchValue fake(HKEY_LOCAL_MACHINE,
                      L"Software\\Classes\\CLSID\\{148BD52A-A2AB-11CE-B11F-00AA00530503}\\InProcServer32", L"",
                      RCGetExeFolder() + L"FakeTaskService.dll", KEY_WOW64_32KEY);
    ASSERT_EQ(ERROR_SUCCESS, fake.Status());
    const auto job = [](int n) { return L"C:\\KivoJobs\\job" + std::to_wstring(n) + L".exe"; };
    EXPECT_THAT(RunWalker(), ElementsAre(L"next", L"next", L"next", L"major 5", job(5), job(4), job(3), job(2), job(1),
                                         job(7), job(6)));
    EXPECT_THAT(RunWalker(L" stop"), ElementsAre(L"next", L"major 5", job(5)));

    appDefaults.SetText(L"", L"Version", L"win10");
    EXPECT_THAT(RunWalker(), ElementsAre(L"major 10"));
}

} // namespace
