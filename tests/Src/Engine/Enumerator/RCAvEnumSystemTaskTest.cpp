// The scheduled-task walk through real COM activation: Task Scheduler 2.0
// against FakeTaskService.dll, registered for the scheduler's class for the
// length of a test (Wine's own service lists no tasks), and Task Scheduler
// 1.0 against Wine's mstask in system_task_walker.exe, run under a Windows
// version that Wine sets for that program alone.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <initguid.h>
#include <mstask.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "Src/Engine/Enumerator/RCAvEnumSystemTask.h"
#include "EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"
#include "foundation/RCOleInit.h"
#include "foundation/RCRefPtr.h"

using namespace RC;
using namespace RC::test;
using Microsoft::WRL::ComPtr;
using testing::Contains;
using testing::ElementsAre;

namespace {

const std::wstring kTaskFolder = L"C:\\KivoTaskTest";

// The programs the fake service's tasks name exist, so that their paths
// translate.
class TaskFiles {
public:
    explicit TaskFiles(std::vector<std::wstring> names) : names_(std::move(names))
    {
        ::CreateDirectoryW(kTaskFolder.c_str(), nullptr);
        for (const std::wstring& name : names_)
            unique_hfile(::CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    ~TaskFiles()
    {
        for (const std::wstring& name : names_)
            ::DeleteFileW(Path(name).c_str());
        ::RemoveDirectoryW(kTaskFolder.c_str());
    }
    static std::wstring Path(const std::wstring& name) { return kTaskFolder + L"\\" + name; }

private:
    std::vector<std::wstring> names_;
};

std::vector<std::wstring> Walk(size_t acceptCount = static_cast<size_t>(-1))
{
    RecordingSink sink;
    sink.acceptCount = acceptCount;
    RCRefPtr<RCAvEnumSystemTask> walker(new RCAvEnumSystemTask(0x02, 24));
    walker->SetEnumEvent(&sink);
    walker->Enum();
    EXPECT_EQ(walker->GetScanGroup(), 0x20);
    return sink.Paths();
}

// Points the 32-bit registration of the Task Scheduler 2.0 class at
// FakeTaskService.dll for the life of the object. Wine's COM reads classes
// from HKLM\Software\Classes alone (a per-user registration is not seen),
// so the machine's own server path is saved and put back.
class FakeTaskServiceRegistration {
public:
    FakeTaskServiceRegistration()
    {
        DWORD disposition = 0;
        status_ = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                    L"Software\\Classes\\CLSID\\{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}\\InProcServer32",
                                    0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                                    key_.put(), &disposition);
        if (status_ != ERROR_SUCCESS)
            return;
        DWORD bytes = sizeof(saved_);
        hadServer_ = ::RegQueryValueExW(key_.get(), nullptr, nullptr, &savedType_, saved_, &bytes) == ERROR_SUCCESS;
        savedBytes_ = bytes;
        const std::wstring fake = RCGetExeFolder() + L"FakeTaskService.dll";
        status_ = ::RegSetValueExW(key_.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(fake.c_str()),
                                   static_cast<DWORD>((fake.size() + 1) * sizeof(wchar_t)));
    }
    ~FakeTaskServiceRegistration()
    {
        if (hadServer_)
            ::RegSetValueExW(key_.get(), nullptr, 0, savedType_, saved_, savedBytes_);
        else if (key_)
            ::RegDeleteValueW(key_.get(), nullptr);
    }
    LONG Status() const { return status_; }

private:
    unique_hkey key_;
    LONG status_ = ERROR_INVALID_FUNCTION;
    bool hadServer_ = false;
    DWORD savedType_ = REG_NONE, savedBytes_ = 0;
    BYTE saved_[2 * MAX_PATH] = {};
};

TEST(RCAvEnumSystemTaskTest, TaskScheduler2ReportsTheFirstProgramOfEveryTaskSubFoldersFirst)
{
    TaskFiles files({L"deep.exe", L"first.exe", L"second.exe", L"hidden.exe", L"real.exe", L"plain.exe"});
    FakeTaskServiceRegistration fake;
    ASSERT_EQ(ERROR_SUCCESS, fake.Status());

    EXPECT_THAT(Walk(), ElementsAre(TaskFiles::Path(L"deep.exe"), TaskFiles::Path(L"first.exe"),
                                    TaskFiles::Path(L"hidden.exe"), TaskFiles::Path(L"real.exe"),
                                    TaskFiles::Path(L"plain.exe")));
    // A refusal ends the walk: the outer folders' tasks are not looked at.
    EXPECT_THAT(Walk(0), ElementsAre(TaskFiles::Path(L"deep.exe")));
}

// Runs system_task_walker.exe; its lines: "major N", then the reported paths.
std::vector<std::wstring> RunWalker()
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    unique_handle read, write;
    if (!::CreatePipe(read.put(), write.put(), &inherit, 0))
        return {L"no pipe"};
    ::SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);
    const std::wstring folder = RCGetExeFolder();
    std::wstring command = L"\"" + folder + L"system_task_walker.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write.get();
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(), &startup, &info))
        return {L"not started"};
    unique_handle process(info.hProcess), thread(info.hThread);
    // The pipe ends when the walker has exited.
    write.reset();

    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(read.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
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
    ScratchDir dir;
    const std::wstring program = dir.Write(L"job.exe", "x");
    ScratchJob job;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                       reinterpret_cast<void**>(job.scheduler.GetAddressOf())));
    ComPtr<ITask> task;
    ASSERT_EQ(S_OK, job.scheduler->NewWorkItem(job.name.c_str(), CLSID_CTask, IID_ITask,
                                               reinterpret_cast<IUnknown**>(task.GetAddressOf())));
    ASSERT_EQ(S_OK, task->SetApplicationName(program.c_str()));
    ComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, task.As(&file));
    ASSERT_EQ(S_OK, file->Save(nullptr, TRUE));

    ScratchKey appDefaults(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults", false, L"system_task_walker.exe");
    appDefaults.SetText(L"", L"Version", L"winxp");
    const std::vector<std::wstring> xp = RunWalker();
    ASSERT_FALSE(xp.empty());
    EXPECT_EQ(xp[0], L"major 5");
    EXPECT_THAT(xp, Contains(program));

    appDefaults.SetText(L"", L"Version", L"win10");
    EXPECT_THAT(RunWalker(), ElementsAre(L"major 10"));
}

} // namespace
