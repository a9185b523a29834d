// An in-process Task Scheduler 2.0 service for the scheduled-task walk's
// tests: Wine's own service lists no tasks, so the tests register this one
// for CLSID_TaskScheduler while they run. It serves a fixed tree of folders
// and tasks through just the calls a task walk makes; every other method
// answers E_NOTIMPL.
#include <windows.h>
#include <initguid.h>
#include <taskschd.h>

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

// The files live under C:\KivoTaskTest, which the tests create.
const Folder kRoot{
    {Folder{{Folder{{}, {Task{false, {{TASK_ACTION_EXEC, L"C:\\KivoTaskTest\\deep.exe"}}}}}},
            {Task{false,
                  {{TASK_ACTION_EXEC, L"C:\\KivoTaskTest\\first.exe"},
                   {TASK_ACTION_EXEC, L"C:\\KivoTaskTest\\second.exe"}}}}}},
    {Task{true, {{TASK_ACTION_EXEC, L"C:\\KivoTaskTest\\hidden.exe"}}},
     Task{false, {{TASK_ACTION_SEND_EMAIL, nullptr}}},
     Task{false, {{TASK_ACTION_EXEC, L""}, {TASK_ACTION_EXEC, L"\"C:\\KivoTaskTest\\real.exe\""}}},
     Task{false, {{TASK_ACTION_EXEC, L"C:\\KivoTaskTest\\plain.exe"}}}}};

#define NOTIMPL(name, params)                                                                                  \
    HRESULT STDMETHODCALLTYPE name params override { return E_NOTIMPL; }

// IUnknown and an IDispatch that dispatches nothing.
template <class I>
class Object : public I {
public:
    virtual ~Object() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IDispatch && !Implements(iid))
            return E_NOINTERFACE;
        *out = static_cast<I*>(this);
        this->AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return refs;
    }
    NOTIMPL(GetTypeInfoCount, (UINT*))
    NOTIMPL(GetTypeInfo, (UINT, LCID, ITypeInfo**))
    NOTIMPL(GetIDsOfNames, (REFIID, LPOLESTR*, UINT, LCID, DISPID*))
    NOTIMPL(Invoke, (DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*))

protected:
    virtual bool Implements(REFIID iid) const { return iid == __uuidof(I); }

private:
    LONG refs_ = 1;
};

// Hands a new object (one reference) to an out parameter.
template <class T, class I>
HRESULT Give(T* object, I** out)
{
    if (!out) {
        object->Release();
        return E_POINTER;
    }
    *out = object;
    return S_OK;
}

bool ReadIndex(const VARIANT& index, size_t count, size_t& position)
{
    if (V_VT(&index) != VT_I4 || V_I4(&index) < 1 || static_cast<size_t>(V_I4(&index)) > count)
        return false;
    position = static_cast<size_t>(V_I4(&index)) - 1;
    return true;
}

class ExecAction : public Object<IExecAction> {
public:
    explicit ExecAction(const Action& action) : action_(action) {}
    NOTIMPL(get_Id, (BSTR*))
    NOTIMPL(put_Id, (BSTR))
    HRESULT STDMETHODCALLTYPE get_Type(TASK_ACTION_TYPE* type) override
    {
        *type = action_.type;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) override
    {
        *path = ::SysAllocString(action_.path);
        return S_OK;
    }
    NOTIMPL(put_Path, (BSTR))
    NOTIMPL(get_Arguments, (BSTR*))
    NOTIMPL(put_Arguments, (BSTR))
    NOTIMPL(get_WorkingDirectory, (BSTR*))
    NOTIMPL(put_WorkingDirectory, (BSTR))

protected:
    // Only an executable action is an IExecAction.
    bool Implements(REFIID iid) const override
    {
        return iid == IID_IAction || (iid == IID_IExecAction && action_.type == TASK_ACTION_EXEC);
    }

private:
    const Action& action_;
};

class ActionCollection : public Object<IActionCollection> {
public:
    explicit ActionCollection(const Task& task) : task_(task) {}
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override
    {
        *count = static_cast<LONG>(task_.actions.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(LONG index, IAction** action) override
    {
        if (index < 1 || static_cast<size_t>(index) > task_.actions.size())
            return E_INVALIDARG;
        return Give(new ExecAction(task_.actions[index - 1]), action);
    }
    NOTIMPL(get__NewEnum, (IUnknown**))
    NOTIMPL(get_XmlText, (BSTR*))
    NOTIMPL(put_XmlText, (BSTR))
    NOTIMPL(Create, (TASK_ACTION_TYPE, IAction**))
    NOTIMPL(Remove, (VARIANT))
    NOTIMPL(Clear, ())
    NOTIMPL(get_Context, (BSTR*))
    NOTIMPL(put_Context, (BSTR))

private:
    const Task& task_;
};

class TaskDefinition : public Object<ITaskDefinition> {
public:
    explicit TaskDefinition(const Task& task) : task_(task) {}
    NOTIMPL(get_RegistrationInfo, (IRegistrationInfo**))
    NOTIMPL(put_RegistrationInfo, (IRegistrationInfo*))
    NOTIMPL(get_Triggers, (ITriggerCollection**))
    NOTIMPL(put_Triggers, (ITriggerCollection*))
    NOTIMPL(get_Settings, (ITaskSettings**))
    NOTIMPL(put_Settings, (ITaskSettings*))
    NOTIMPL(get_Data, (BSTR*))
    NOTIMPL(put_Data, (BSTR))
    NOTIMPL(get_Principal, (IPrincipal**))
    NOTIMPL(put_Principal, (IPrincipal*))
    HRESULT STDMETHODCALLTYPE get_Actions(IActionCollection** actions) override
    {
        return Give(new ActionCollection(task_), actions);
    }
    NOTIMPL(put_Actions, (IActionCollection*))
    NOTIMPL(get_XmlText, (BSTR*))
    NOTIMPL(put_XmlText, (BSTR))

private:
    const Task& task_;
};

class RegisteredTask : public Object<IRegisteredTask> {
public:
    explicit RegisteredTask(const Task& task) : task_(task) {}
    NOTIMPL(get_Name, (BSTR*))
    NOTIMPL(get_Path, (BSTR*))
    NOTIMPL(get_State, (TASK_STATE*))
    NOTIMPL(get_Enabled, (VARIANT_BOOL*))
    NOTIMPL(put_Enabled, (VARIANT_BOOL))
    NOTIMPL(Run, (VARIANT, IRunningTask**))
    NOTIMPL(RunEx, (VARIANT, LONG, LONG, BSTR, IRunningTask**))
    NOTIMPL(GetInstances, (LONG, IRunningTaskCollection**))
    NOTIMPL(get_LastRunTime, (DATE*))
    NOTIMPL(get_LastTaskResult, (LONG*))
    NOTIMPL(get_NumberOfMissedRuns, (LONG*))
    NOTIMPL(get_NextRunTime, (DATE*))
    HRESULT STDMETHODCALLTYPE get_Definition(ITaskDefinition** definition) override
    {
        return Give(new TaskDefinition(task_), definition);
    }
    NOTIMPL(get_Xml, (BSTR*))
    NOTIMPL(GetSecurityDescriptor, (LONG, BSTR*))
    NOTIMPL(SetSecurityDescriptor, (BSTR, LONG))
    NOTIMPL(Stop, (LONG))
    NOTIMPL(GetRunTimes, (const LPSYSTEMTIME, const LPSYSTEMTIME, DWORD*, LPSYSTEMTIME*))

private:
    const Task& task_;
};

class TaskCollection : public Object<IRegisteredTaskCollection> {
public:
    TaskCollection(const Folder& folder, bool withHidden)
    {
        for (const Task& task : folder.tasks) {
            if (withHidden || !task.hidden)
                tasks_.push_back(&task);
        }
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override
    {
        *count = static_cast<LONG>(tasks_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, IRegisteredTask** task) override
    {
        size_t position = 0;
        if (!ReadIndex(index, tasks_.size(), position))
            return E_INVALIDARG;
        return Give(new RegisteredTask(*tasks_[position]), task);
    }
    NOTIMPL(get__NewEnum, (IUnknown**))

private:
    std::vector<const Task*> tasks_;
};

class TaskFolder;

class FolderCollection : public Object<ITaskFolderCollection> {
public:
    explicit FolderCollection(const Folder& folder) : folder_(folder) {}
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override
    {
        *count = static_cast<LONG>(folder_.folders.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, ITaskFolder** folder) override;
    NOTIMPL(get__NewEnum, (IUnknown**))

private:
    const Folder& folder_;
};

class TaskFolder : public Object<ITaskFolder> {
public:
    explicit TaskFolder(const Folder& folder) : folder_(folder) {}
    NOTIMPL(get_Name, (BSTR*))
    NOTIMPL(get_Path, (BSTR*))
    NOTIMPL(GetFolder, (BSTR, ITaskFolder**))
    HRESULT STDMETHODCALLTYPE GetFolders(LONG, ITaskFolderCollection** folders) override
    {
        return Give(new FolderCollection(folder_), folders);
    }
    NOTIMPL(CreateFolder, (BSTR, VARIANT, ITaskFolder**))
    NOTIMPL(DeleteFolder, (BSTR, LONG))
    NOTIMPL(GetTask, (BSTR, IRegisteredTask**))
    HRESULT STDMETHODCALLTYPE GetTasks(LONG flags, IRegisteredTaskCollection** tasks) override
    {
        return Give(new TaskCollection(folder_, (flags & TASK_ENUM_HIDDEN) != 0), tasks);
    }
    NOTIMPL(DeleteTask, (BSTR, LONG))
    NOTIMPL(RegisterTask, (BSTR, BSTR, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask**))
    NOTIMPL(RegisterTaskDefinition,
            (BSTR, ITaskDefinition*, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE, VARIANT, IRegisteredTask**))
    NOTIMPL(GetSecurityDescriptor, (LONG, BSTR*))
    NOTIMPL(SetSecurityDescriptor, (BSTR, LONG))

private:
    const Folder& folder_;
};

HRESULT STDMETHODCALLTYPE FolderCollection::get_Item(VARIANT index, ITaskFolder** folder)
{
    size_t position = 0;
    if (!ReadIndex(index, folder_.folders.size(), position))
        return E_INVALIDARG;
    return Give(new TaskFolder(folder_.folders[position]), folder);
}

class TaskService : public Object<ITaskService> {
public:
    // Like the real service: no folder before a connection.
    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** folder) override
    {
        if (!connected_)
            return HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED);
        if (!path || ::lstrcmpW(path, L"\\") != 0)
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        return Give(new TaskFolder(kRoot), folder);
    }
    NOTIMPL(GetRunningTasks, (LONG, IRunningTaskCollection**))
    NOTIMPL(NewTask, (DWORD, ITaskDefinition**))
    HRESULT STDMETHODCALLTYPE Connect(VARIANT, VARIANT, VARIANT, VARIANT) override
    {
        connected_ = true;
        return S_OK;
    }
    NOTIMPL(get_Connected, (VARIANT_BOOL*))
    NOTIMPL(get_TargetServer, (BSTR*))
    NOTIMPL(get_ConnectedUser, (BSTR*))
    NOTIMPL(get_ConnectedDomain, (BSTR*))
    NOTIMPL(get_HighestVersion, (DWORD*))

private:
    bool connected_ = false;
};

class ClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IClassFactory) ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    // A static object: counting would change nothing.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* service = new TaskService;
        const HRESULT hr = service->QueryInterface(iid, out);
        service->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ClassFactory factory;

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (clsid != CLSID_TaskScheduler)
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}

// The objects point into the fixed tree; staying loaded keeps that simple.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return S_FALSE;
}
