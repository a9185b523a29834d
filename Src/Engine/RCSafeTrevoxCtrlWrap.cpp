#include "Src/Engine/RCSafeTrevoxCtrlWrap.h"

#include "Src/Engine/RCTrevoxCtrl.h"
#include "foundation/RCDebugger.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "module/RCModuleSender.h"

namespace RC {

namespace {

// The command's result; any other command does nothing.
bool RunCommand(Command command, RCSafeTrevoxCtrl& controller)
{
    switch (command) {
    case Command::Start:
        return controller.StartScan();
    case Command::Stop:
        controller.StopScan();
        return true;
    case Command::Suspend:
        return controller.SuspendScan();
    case Command::Resume:
        controller.ResumeScan();
        return true;
    }
    return false;
}

} // namespace

RCSafeTrevoxCtrlWrap::RCSafeTrevoxCtrlWrap() : registry_(new Registry()) {}

RCSafeTrevoxCtrlWrap::~RCSafeTrevoxCtrlWrap() = default;

void RCSafeTrevoxCtrlWrap::SetSender(const RCModuleSender* sender)
{
    registry_->sender = sender;
}

void RCSafeTrevoxCtrlWrap::UnInitAll()
{
    RC_CHECK_SEQUENCE(registry_->delivery);
    for (auto& task : registry_->tasks)
        task.second.UnInit();
}

RCScanCtrlInfo* RCSafeTrevoxCtrlWrap::Find(const std::wstring& taskId)
{
    const auto found = registry_->tasks.find(taskId);
    return found != registry_->tasks.end() ? &found->second : nullptr;
}

RCScanCtrlInfo* RCSafeTrevoxCtrlWrap::FindExisting(const std::wstring& taskId)
{
    RCScanCtrlInfo* task = Find(taskId);
    if (task == nullptr)
        RC_LOG(LostWork, L"TaskId %s can not find", taskId.c_str());
    return task;
}

void RCSafeTrevoxCtrlWrap::OnReceiveMessage(const std::wstring& address1, const std::wstring& address2,
                                            const std::wstring& id, const uint8_t* data, uint32_t size)
{
    RC_CHECK_SEQUENCE(registry_->delivery);
    if (id == REQ_TASK_SETUP)
        OnSetup(address1, address2, data, size);
    else if (id == REQ_TASK_COMMAND)
        OnCommand(address1, address2, data, size);
    else if (id == REQ_TASK_OPERATE)
        OnOperate(data, size);
    else if (id == REQ_TASK_CANCEL_OPERATE)
        OnCancelOperate(data, size);
}

void RCSafeTrevoxCtrlWrap::OnSetup(const std::wstring& address1, const std::wstring& address2, const uint8_t* data,
                                   uint32_t size)
{
    TaskSetupRequest request;
    if (!RCDecodeRecord(request, data, size))
        return;
    RCScanCtrlInfo* task = Find(request.taskId);
    if (task == nullptr) {
        RC_LOG(LostWork, L"TaskId %s has not been created", request.taskId.c_str());
        task = &registry_->tasks.try_emplace(request.taskId, request.taskId, address1, address2, registry_->sender)
                    .first->second;
    }
    // A new task, or one whose controller a module stop released.
    if (task->Controller() == nullptr && !task->Init())
        return;
    ScanTypeInfo info;
    info.scanType = request.scanType;
    info.customPaths = std::move(request.customPaths);
    task->Controller()->SetScanTypeInfo(info);
    task->PostSetupDone();
}

void RCSafeTrevoxCtrlWrap::OnCommand(const std::wstring& address1, const std::wstring& address2, const uint8_t* data,
                                     uint32_t size)
{
    TaskCommandRequest request;
    if (!RCDecodeRecord(request, data, size))
        return;
    RCScanCtrlInfo* task = FindExisting(request.taskId);
    if (task == nullptr)
        return;
    const bool result = task->Controller() != nullptr && RunCommand(request.command, *task->Controller());
    if (registry_->sender == nullptr)
        return;
    TaskCommandResultEvent reply;
    reply.taskId = request.taskId;
    reply.command = request.command;
    reply.result = result;
    registry_->sender->SendRecord(address1, address2, EVT_TASK_COMMAND_RESULT, RCEncodeRecord(reply));
}

void RCSafeTrevoxCtrlWrap::OnOperate(const uint8_t* data, uint32_t size)
{
    TaskOperateRequest request;
    if (!RCDecodeRecord(request, data, size))
        return;
    RCScanCtrlInfo* task = FindExisting(request.taskId);
    if (task == nullptr)
        return;
    RCSafeTrevoxCtrl* controller = task->Controller();
    if (controller == nullptr)
        return;
    if (request.operation == Operation::ForwardThreatPaths)
        controller->ForwardThreatPaths(request.queryIds);
    else
        controller->GetTrojaneList()->Operate(request.operation, request.queryIds);
}

void RCSafeTrevoxCtrlWrap::OnCancelOperate(const uint8_t* data, uint32_t size)
{
    TaskCancelOperateRequest request;
    if (!RCDecodeRecord(request, data, size))
        return;
    RCScanCtrlInfo* task = FindExisting(request.taskId);
    if (task == nullptr)
        return;
    if (task->Controller() != nullptr)
        task->Controller()->GetTrojaneList()->CancelOperation();
}

} // namespace RC
