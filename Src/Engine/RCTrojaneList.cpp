#include "Src/Engine/RCTrojaneList.h"

#include <atomic>
#include <map>

#include "engine/EngineObjectIds.h"
#include "engine/IThreatOperator.h"
#include "engine/MsvcWString.h"
#include "engine/RCWrapImpl.h"
#include "engine/ThreatOperation4Request.h"
#include "foundation/RCAutoLock.h"
#include "foundation/RCDebugger.h"
#include "foundation/RCPath.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCString.h"
#include "foundation/RCThread.h"

namespace RC {

struct RCTrojaneList::State {
    IThreatOperator* operatorObject = nullptr;
    IScanOperateCallback* observer = nullptr;
    mutable RCCriticalSection threatsLock;
    std::map<std::wstring, FileQueryTask> threats;
    std::vector<uint32_t> operationIds;
    Operation operation{}; // of the running or last operation
    RCRefPtr<RCThread> worker;
    std::atomic<bool> cancel{false};
};

RCTrojaneList::RCTrojaneList() : state_(new State()) {}

RCTrojaneList::~RCTrojaneList()
{
    StopWorker();
}

std::wstring RCTrojaneList::NormalizePath(const std::wstring& path)
{
    std::wstring key = path;
    RCTrim(key);
    RCNormalizePath(key, RC_PATH_LOWER);
    return key;
}

bool RCTrojaneList::Init()
{
    RC_LOG(Lifecycle, L"Init enter");
    if (state_->operatorObject == nullptr) {
        state_->operatorObject = RCCreateEngineObject<IThreatOperator>(RCHalvaneWrap(), kThreatOperatorObjectId);
        if (state_->operatorObject != nullptr)
            state_->operatorObject->Init();
    }
    RC_LOG(Lifecycle, L"Init leave");
    return state_->operatorObject != nullptr;
}

void RCTrojaneList::UnInit()
{
    RC_LOG(Lifecycle, L"Uninit enter");
    StopWorker();
    if (state_->operatorObject != nullptr) {
        state_->operatorObject->UnInit();
        RCDestroyEngineObject(RCHalvaneWrap(), kThreatOperatorObjectId, state_->operatorObject);
    }
    RC_LOG(Lifecycle, L"Uninit leave");
}

void RCTrojaneList::SetObserver(IScanOperateCallback* observer)
{
    state_->observer = observer;
}

uint32_t RCTrojaneList::AddThreat(const FileQueryTask& task)
{
    const std::wstring key = NormalizePath(task.path);
    {
        RCAutoLock guard(state_->threatsLock);
        if (!state_->threats.emplace(key, task).second)
            return 0;
    }
    if (state_->observer != nullptr)
        state_->observer->OnThreatAdded(task.taskId);
    return task.taskId;
}

bool RCTrojaneList::FindThreat(uint32_t taskId, FileQueryTask& out) const
{
    RCAutoLock guard(state_->threatsLock);
    for (const auto& entry : state_->threats) {
        if (entry.second.taskId == taskId) {
            out = entry.second;
            return true;
        }
    }
    return false;
}

bool RCTrojaneList::Operate(Operation operation, const std::vector<uint32_t>& ids)
{
    StopWorker();
    state_->operation = operation;
    state_->operationIds = ids;
    state_->cancel = false;
    state_->worker = new RCThread(&RCTrojaneList::WorkerRoutine, this);
    if (!state_->worker->Start()) {
        state_->worker.Reset();
        return false;
    }
    return true;
}

void RCTrojaneList::CancelOperation()
{
    state_->cancel = true;
}

void RCTrojaneList::Clear()
{
    RCAutoLock guard(state_->threatsLock);
    state_->threats.clear();
}

void RCTrojaneList::StopWorker()
{
    state_->cancel = true;
    if (state_->worker && state_->worker->IsRunning())
        state_->worker->Join();
    state_->worker.Reset();
}

void __cdecl RCTrojaneList::WorkerRoutine(void* context)
{
    static_cast<RCTrojaneList*>(context)->RunOperation();
}

void RCTrojaneList::RunOperation()
{
    State& s = *state_;
    IScanOperateCallback* observer = s.observer;
    const Operation operation = s.operation;
    const uint32_t total = static_cast<uint32_t>(s.operationIds.size());
    if (observer != nullptr)
        observer->OnOperateBegin(operation);
    uint32_t done = 0;
    for (uint32_t id : s.operationIds) {
        if (s.cancel)
            break;
        FileQueryTask threat;
        if (!FindThreat(id, threat))
            continue;
        ++done;
        if (observer != nullptr)
            observer->OnOperateItemBegin(operation, id);
        const bool succeeded = Apply(operation, threat);
        if (observer != nullptr) {
            observer->OnOperateProgress(done, total);
            if (succeeded)
                observer->OnOperateItemSucceeded(operation, id);
            else
                observer->OnOperateItemFailed(operation, id);
        }
    }
    if (observer != nullptr)
        observer->OnOperateEnd(operation);
}

bool RCTrojaneList::Apply(Operation operation, const FileQueryTask& threat)
{
    IThreatOperator* engine = state_->operatorObject;
    if (engine == nullptr)
        return false;
    switch (operation) {
    case Operation::Quarantine: {
        const MsvcWString path(threat.path.c_str(), threat.path.size());
        return engine->ApplyOperation1(&path, &threat.result);
    }
    case Operation::Restore: {
        ThreatOperation4Request request;
        BuildThreatOperation4Request(threat.path.c_str(), threat.path.size(), threat.result, request);
        return engine->ApplyOperation4(&request);
    }
    default:
        return false;
    }
}

} // namespace RC
