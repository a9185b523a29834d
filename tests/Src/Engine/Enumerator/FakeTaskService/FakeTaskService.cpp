// An in-process Task Scheduler 2.0 service and 1.0 scheduler for the task
// walk's tests (Wine's own lists no tasks), registered for the scheduler's
// class while a test runs, serving a fixed tree of folders and tasks or list
// of work items. The objects are built on the interfaces' C declarations, so
// that each fills in only the methods a task walk calls: the other slots are
// null, and a walk that called one would fail its test at once.
#define CINTERFACE
#include <windows.h>
#include <initguid.h>
#include <mstask.h>
#include <shlwapi.h>
#include <taskschd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Action {
    TASK_ACTION_TYPE type;
    const wchar_t* path;
};
struct Task {
    bool hidden;
    std::vector<Action> actions;
};
struct Folder {
    std::vector<Folder> folders;
    std::vector<Task> tasks;
};

// The tests put the programs in a folder of their PATH.
const Folder kRoot{{Folder{{Folder{{}, {Task{false, {{TASK_ACTION_EXEC, L"deep.exe"}}}}}},
                           {Task{false, {{TASK_ACTION_EXEC, L"first.exe"}, {TASK_ACTION_EXEC, L"second.exe"}}}}}},
                   {Task{true, {{TASK_ACTION_EXEC, L"hidden.exe"}}}, Task{false, {{TASK_ACTION_SEND_EMAIL, nullptr}}},
                    Task{false, {{TASK_ACTION_EXEC, L""}, {TASK_ACTION_EXEC, L"\"real.exe\""}}},
                    Task{false, {{TASK_ACTION_EXEC, L"plain.exe"}}}}};

// Every object: its vtable, the part of the tree it stands for (a service
// until it is connected: none), a collection's members, and the interfaces
// it answers besides IUnknown and IDispatch.
struct Object {
    const void* vtable;
    const void* node;
    std::vector<const void*> items;
    std::vector<IID> iids;
    LONG refs;
};

template <class T, class I>
const T& Node(I* self)
{
    return *static_cast<const T*>(reinterpret_cast<Object*>(self)->node);
}

// A collection's member by its 1-based index, or null.
template <class I>
const void* Item(I* self, LONG index)
{
    const std::vector<const void*>& items = reinterpret_cast<Object*>(self)->items;
    return index >= 1 && static_cast<size_t>(index) <= items.size() ? items[index - 1] : nullptr;
}

template <class I, class Vtbl>
HRESULT Give(const Vtbl& vtable, std::vector<IID> iids, const void* node, std::vector<const void*> items, I** out)
{
    if (!out)
        return E_POINTER;
    *out = reinterpret_cast<I*>(new Object{&vtable, node, std::move(items), std::move(iids), 1});
    return S_OK;
}

template <class I>
HRESULT STDMETHODCALLTYPE QueryInterface(I* self, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    const std::vector<IID>& iids = reinterpret_cast<Object*>(self)->iids;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && std::find(iids.begin(), iids.end(), iid) == iids.end())
        return E_NOINTERFACE;
    *out = self;
    self->lpVtbl->AddRef(self);
    return S_OK;
}
template <class I>
ULONG STDMETHODCALLTYPE AddRef(I* self)
{
    return ::InterlockedIncrement(&reinterpret_cast<Object*>(self)->refs);
}
template <class I>
ULONG STDMETHODCALLTYPE Release(I* self)
{
    const LONG refs = ::InterlockedDecrement(&reinterpret_cast<Object*>(self)->refs);
    if (refs == 0)
        delete reinterpret_cast<Object*>(self);
    return refs;
}
template <class I>
HRESULT STDMETHODCALLTYPE Count(I* self, LONG* count)
{
    *count = static_cast<LONG>(reinterpret_cast<Object*>(self)->items.size());
    return S_OK;
}
// Every object's IUnknown; IDispatch is never called by a walk.
#define KIVO_IUNKNOWN .QueryInterface = QueryInterface, .AddRef = AddRef, .Release = Release

LONG Index(const VARIANT& index)
{
    return V_VT(&index) == VT_I4 ? V_I4(&index) : 0;
}

HRESULT STDMETHODCALLTYPE GetType(IExecAction* self, TASK_ACTION_TYPE* type)
{
    *type = Node<Action>(self).type;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE GetPath(IExecAction* self, BSTR* path)
{
    *path = ::SysAllocString(Node<Action>(self).path);
    return S_OK;
}
const IExecActionVtbl kExecAction = {KIVO_IUNKNOWN, .get_Type = GetType, .get_Path = GetPath};

HRESULT STDMETHODCALLTYPE GetAction(IActionCollection* self, LONG index, IAction** action)
{
    const auto* item = static_cast<const Action*>(Item(self, index));
    if (!item)
        return E_INVALIDARG;
    // Only an executable action is an IExecAction.
    std::vector<IID> iids{IID_IAction};
    if (item->type == TASK_ACTION_EXEC)
        iids.push_back(IID_IExecAction);
    return Give(kExecAction, iids, item, {}, action);
}
const IActionCollectionVtbl kActions = {KIVO_IUNKNOWN, .get_Count = Count, .get_Item = GetAction};

HRESULT STDMETHODCALLTYPE GetActions(ITaskDefinition* self, IActionCollection** actions)
{
    std::vector<const void*> items;
    for (const Action& action : Node<Task>(self).actions)
        items.push_back(&action);
    return Give(kActions, {IID_IActionCollection}, nullptr, items, actions);
}
const ITaskDefinitionVtbl kDefinition = {KIVO_IUNKNOWN, .get_Actions = GetActions};

HRESULT STDMETHODCALLTYPE GetDefinition(IRegisteredTask* self, ITaskDefinition** definition)
{
    return Give(kDefinition, {IID_ITaskDefinition}, &Node<Task>(self), {}, definition);
}
const IRegisteredTaskVtbl kTask = {KIVO_IUNKNOWN, .get_Definition = GetDefinition};

HRESULT STDMETHODCALLTYPE GetTask(IRegisteredTaskCollection* self, VARIANT index, IRegisteredTask** task)
{
    const void* item = Item(self, Index(index));
    return item ? Give(kTask, {IID_IRegisteredTask}, item, {}, task) : E_INVALIDARG;
}
const IRegisteredTaskCollectionVtbl kTasks = {KIVO_IUNKNOWN, .get_Count = Count, .get_Item = GetTask};

extern const ITaskFolderVtbl kFolder;
HRESULT STDMETHODCALLTYPE GetFolderItem(ITaskFolderCollection* self, VARIANT index, ITaskFolder** folder)
{
    const void* item = Item(self, Index(index));
    return item ? Give(kFolder, {IID_ITaskFolder}, item, {}, folder) : E_INVALIDARG;
}
const ITaskFolderCollectionVtbl kFolders = {KIVO_IUNKNOWN, .get_Count = Count, .get_Item = GetFolderItem};

HRESULT STDMETHODCALLTYPE GetFolders(ITaskFolder* self, LONG, ITaskFolderCollection** folders)
{
    std::vector<const void*> items;
    for (const Folder& folder : Node<Folder>(self).folders)
        items.push_back(&folder);
    return Give(kFolders, {IID_ITaskFolderCollection}, nullptr, items, folders);
}
HRESULT STDMETHODCALLTYPE GetTasks(ITaskFolder* self, LONG flags, IRegisteredTaskCollection** tasks)
{
    std::vector<const void*> items;
    for (const Task& task : Node<Folder>(self).tasks) {
        if ((flags & TASK_ENUM_HIDDEN) || !task.hidden)
            items.push_back(&task);
    }
    return Give(kTasks, {IID_IRegisteredTaskCollection}, nullptr, items, tasks);
}
const ITaskFolderVtbl kFolder = {KIVO_IUNKNOWN, .GetFolders = GetFolders, .GetTasks = GetTasks};

// Like the real service: no folder before a connection.
HRESULT STDMETHODCALLTYPE GetRootFolder(ITaskService* self, BSTR path, ITaskFolder** folder)
{
    if (!reinterpret_cast<Object*>(self)->node)
        return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
    if (!path || ::lstrcmpW(path, L"\\") != 0)
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    return Give(kFolder, {IID_ITaskFolder}, &kRoot, {}, folder);
}
HRESULT STDMETHODCALLTYPE Connect(ITaskService* self, VARIANT, VARIANT, VARIANT, VARIANT)
{
    reinterpret_cast<Object*>(self)->node = &kRoot;
    return S_OK;
}
const ITaskServiceVtbl kService = {KIVO_IUNKNOWN, .GetFolder = GetRootFolder, .Connect = Connect};

// Task Scheduler 1.0: seven work items; "jobN.job" runs C:\KivoJobs\jobN.exe.
// Each batch asked for writes the line "next" to standard output, so that a
// test sees how far a walk read the list.
const wchar_t* const kWorkItems[] = {L"job1.job", L"job2.job", L"job3.job", L"job4.job",
                                     L"job5.job", L"job6.job", L"job7.job"};

HRESULT STDMETHODCALLTYPE GetApplicationName(ITask* self, LPWSTR* program)
{
    const std::wstring stem(&Node<wchar_t>(self), 4); // "jobN"
    return ::SHStrDupW((L"C:\\KivoJobs\\" + stem + L".exe").c_str(), program);
}
const ITaskVtbl kWorkItem = {KIVO_IUNKNOWN, .GetApplicationName = GetApplicationName};

HRESULT STDMETHODCALLTYPE NextNames(IEnumWorkItems* self, ULONG wanted, LPWSTR** names, ULONG* fetched)
{
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), L"next\n", 5 * sizeof(wchar_t), &written, nullptr);
    std::vector<const void*>& left = reinterpret_cast<Object*>(self)->items;
    *fetched = std::min<ULONG>(wanted, static_cast<ULONG>(left.size()));
    *names = *fetched ? static_cast<LPWSTR*>(::CoTaskMemAlloc(*fetched * sizeof(LPWSTR))) : nullptr;
    for (ULONG i = 0; i < *fetched; ++i)
        ::SHStrDupW(static_cast<const wchar_t*>(left[i]), &(*names)[i]);
    left.erase(left.begin(), left.begin() + *fetched);
    return *fetched == wanted ? S_OK : S_FALSE;
}
const IEnumWorkItemsVtbl kWorkItemList = {KIVO_IUNKNOWN, .Next = NextNames};

HRESULT STDMETHODCALLTYPE EnumWorkItems(ITaskScheduler*, IEnumWorkItems** items)
{
    return Give(kWorkItemList, {IID_IEnumWorkItems}, nullptr,
                std::vector<const void*>(std::begin(kWorkItems), std::end(kWorkItems)), items);
}
HRESULT STDMETHODCALLTYPE Activate(ITaskScheduler*, LPCWSTR name, REFIID, IUnknown** item)
{
    const auto* known = std::find_if(std::begin(kWorkItems), std::end(kWorkItems),
                                     [&](const wchar_t* listed) { return ::lstrcmpW(listed, name) == 0; });
    return known == std::end(kWorkItems) ? HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
                                         : Give(kWorkItem, {IID_ITask}, *known, {}, reinterpret_cast<ITask**>(item));
}
const ITaskSchedulerVtbl kScheduler = {KIVO_IUNKNOWN, .Enum = EnumWorkItems, .Activate = Activate};

// The factories are static objects, one per class, each holding the vtable
// of the objects it makes: counting would change nothing.
ULONG STDMETHODCALLTYPE StaticCount(IClassFactory*)
{
    return 1;
}
HRESULT STDMETHODCALLTYPE CreateInstance(IClassFactory* self, IUnknown* outer, REFIID iid, void** out)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    const void* vtable = reinterpret_cast<Object*>(self)->node;
    const IID& made = vtable == &kService ? IID_ITaskService : IID_ITaskScheduler;
    auto* object = reinterpret_cast<IUnknown*>(new Object{vtable, nullptr, {}, {made}, 1});
    const HRESULT hr = QueryInterface(object, iid, out);
    Release(object);
    return hr;
}
HRESULT STDMETHODCALLTYPE LockServer(IClassFactory*, BOOL)
{
    return S_OK;
}
const IClassFactoryVtbl kFactoryVtbl = {.QueryInterface = QueryInterface,
                                        .AddRef = StaticCount,
                                        .Release = StaticCount,
                                        .CreateInstance = CreateInstance,
                                        .LockServer = LockServer};
Object serviceFactory{&kFactoryVtbl, &kService, {}, {IID_IClassFactory}, 1};
Object schedulerFactory{&kFactoryVtbl, &kScheduler, {}, {IID_IClassFactory}, 1};

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    Object* factory = clsid == CLSID_TaskScheduler    ? &serviceFactory
                      : clsid == CLSID_CTaskScheduler ? &schedulerFactory
                                                      : nullptr;
    return factory ? QueryInterface(reinterpret_cast<IClassFactory*>(factory), iid, out) : CLASS_E_CLASSNOTAVAILABLE;
}

// The objects point into the fixed tree; staying loaded keeps that simple.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return S_FALSE;
}
