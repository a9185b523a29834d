#include "Src/Engine/Enumerator/RCAvEnumSystemTask.h"

#include <initguid.h>
#include <mstask.h>
#include <taskschd.h>
#include <wrl/client.h>

#include <vector>

#include "foundation/RCHandles.h"
#include "foundation/RCOleInit.h"
#include "foundation/RCString.h"
#include "foundation/RCSystemInfo.h"

using Microsoft::WRL::ComPtr;

namespace RC {

namespace {

// Task Scheduler 1.0 hands out work-item names in batches of this size.
constexpr ULONG kNameBatch = 5;
constexpr wchar_t kJobSuffix[] = L".job";
constexpr size_t kJobSuffixLength = 4;

// Windows activates a work item by the name Next gave it, ".job" included;
// Wine's scheduler appends ".job" itself and only finds the name without it.
ComPtr<ITask> ActivateTask(ITaskScheduler* scheduler, const wchar_t* name)
{
    ComPtr<ITask> task;
    if (SUCCEEDED(scheduler->Activate(name, IID_ITask, reinterpret_cast<IUnknown**>(task.GetAddressOf()))) && task)
        return task;
    std::wstring stem(name);
    if (stem.size() <= kJobSuffixLength ||
        !RCEqualsNoCase(RCRight(stem, static_cast<int>(kJobSuffixLength)), kJobSuffix))
        return nullptr;
    stem.resize(stem.size() - kJobSuffixLength);
    task.Reset();
    if (FAILED(scheduler->Activate(stem.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.GetAddressOf()))))
        return nullptr;
    return task;
}

VARIANT IndexVariant(LONG index)
{
    VARIANT variant;
    ::VariantInit(&variant);
    V_VT(&variant) = VT_I4;
    V_I4(&variant) = index;
    return variant;
}

} // namespace

RCAvEnumSystemTask::RCAvEnumSystemTask(int32_t /*scanGroup*/, int32_t showType) : RCAvEnumIMPL(kScanGroup, showType) {}

void RCAvEnumSystemTask::EnumImpl()
{
    RCOleInit ole;
    // What Windows reports to the host, not the true version: which
    // scheduler a program can talk to follows what it is told.
    OSVERSIONINFOEXW version;
    if (!RCGetReportedOsVersion(version))
        return;
    switch (version.dwMajorVersion) {
    case 5:
        EnumTaskScheduler1();
        break;
    case 6:
        EnumTaskScheduler2();
        break;
    default:
        break;
    }
}

void RCAvEnumSystemTask::EnumTaskScheduler1()
{
    ComPtr<ITaskScheduler> scheduler;
    if (FAILED(::CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler,
                                  reinterpret_cast<void**>(scheduler.GetAddressOf()))))
        return;
    ComPtr<IEnumWorkItems> items;
    if (FAILED(scheduler->Enum(items.GetAddressOf())) || !items)
        return;

    while (!IsStopped()) {
        LPWSTR* batch = nullptr;
        ULONG fetched = 0;
        if (FAILED(items->Next(kNameBatch, &batch, &fetched)) || fetched == 0 || !batch) {
            unique_cotaskmem_ptr<LPWSTR> none(batch);
            break;
        }
        // Every name is the caller's to free, also those a stop leaves unread.
        unique_cotaskmem_ptr<LPWSTR> array(batch);
        std::vector<unique_cotaskmem_string> names;
        for (ULONG i = 0; i < fetched; ++i)
            names.emplace_back(batch[i]);

        for (ULONG i = fetched; i-- > 0 && !IsStopped();) {
            if (!names[i])
                break;
            ComPtr<ITask> task = ActivateTask(scheduler.Get(), names[i].get());
            names[i].reset();
            if (!task)
                continue;
            unique_cotaskmem_string application;
            if (FAILED(task->GetApplicationName(application.put())) || !application)
                continue;
            if (!FireTranslatedPath(application.get(), L""))
                break;
        }
    }
}

void RCAvEnumSystemTask::EnumTaskScheduler2()
{
    // Another component of the process may have set security already; the
    // walk works either way.
    ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY, RPC_C_IMP_LEVEL_IMPERSONATE,
                           nullptr, EOAC_NONE, nullptr);

    ComPtr<ITaskService> service;
    if (FAILED(::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                  reinterpret_cast<void**>(service.GetAddressOf()))))
        return;
    VARIANT empty;
    ::VariantInit(&empty);
    if (FAILED(service->Connect(empty, empty, empty, empty)))
        return;

    unique_bstr rootPath(::SysAllocString(L"\\"));
    ComPtr<ITaskFolder> root;
    if (rootPath && SUCCEEDED(service->GetFolder(rootPath.get(), root.GetAddressOf())) && root)
        WalkTaskFolder(root.Get());
}

void RCAvEnumSystemTask::WalkTaskFolder(ITaskFolder* folder)
{
    ComPtr<ITaskFolderCollection> folders;
    LONG count = 0;
    if (SUCCEEDED(folder->GetFolders(0, folders.GetAddressOf())) && folders && SUCCEEDED(folders->get_Count(&count))) {
        for (LONG i = 1; i <= count && !IsStopped(); ++i) {
            ComPtr<ITaskFolder> sub;
            if (SUCCEEDED(folders->get_Item(IndexVariant(i), sub.GetAddressOf())) && sub)
                WalkTaskFolder(sub.Get());
        }
    }

    ComPtr<IRegisteredTaskCollection> tasks;
    count = 0;
    if (FAILED(folder->GetTasks(TASK_ENUM_HIDDEN, tasks.GetAddressOf())) || !tasks || FAILED(tasks->get_Count(&count)))
        return;
    for (LONG i = 1; i <= count && !IsStopped(); ++i) {
        ComPtr<IRegisteredTask> task;
        if (SUCCEEDED(tasks->get_Item(IndexVariant(i), task.GetAddressOf())) && task && !FireTaskProgram(task.Get()))
            break;
    }
}

bool RCAvEnumSystemTask::FireTaskProgram(IRegisteredTask* task)
{
    ComPtr<ITaskDefinition> definition;
    ComPtr<IActionCollection> actions;
    LONG count = 0;
    if (FAILED(task->get_Definition(definition.GetAddressOf())) || !definition ||
        FAILED(definition->get_Actions(actions.GetAddressOf())) || !actions || FAILED(actions->get_Count(&count)))
        return true;

    for (LONG i = 1; i <= count && !IsStopped(); ++i) {
        ComPtr<IAction> action;
        TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
        if (FAILED(actions->get_Item(i, action.GetAddressOf())) || !action || FAILED(action->get_Type(&type)) ||
            type != TASK_ACTION_EXEC)
            continue;
        ComPtr<IExecAction> exec;
        unique_bstr path;
        if (FAILED(action.As(&exec)) || FAILED(exec->get_Path(path.put())) || ::SysStringLen(path.get()) == 0)
            continue;
        return FireTranslatedPath(path.get(), L"");
    }
    return true;
}

} // namespace RC
