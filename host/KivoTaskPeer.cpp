#include "host/KivoTaskPeer.h"

#include <chrono>

#include "module/RCBusIds.h"

namespace KivoHost {

namespace {
// kivoscan's own address on the bus; the TaskId is the second.
constexpr const wchar_t* kPeerAddress = L"kivoscan";
} // namespace

KivoTaskPeer::KivoTaskPeer(std::wstring taskId, RCBusMode mode) : taskId_(std::move(taskId)), mode_(mode) {}

KivoTaskPeer::~KivoTaskPeer()
{
    if (module_ != nullptr) {
        bus_->Post(RC::MSG_MODULE_STOP, L"", L"");
        bus_->WaitIdle();
        module_->Detach();
        bus_.reset();
        if (mode_ == RCBusMode::Harsh)
            library_.ReleaseModuleAndFree(0, module_);
        else
            library_.ReleaseModule(0, module_);
    }
}

bool KivoTaskPeer::Start(const std::wstring& modulePath)
{
    if (!library_.Load(modulePath)) {
        error_ = library_.error();
        return false;
    }
    module_ = library_.QueryModule(0);
    if (module_ == nullptr) {
        error_ = modulePath + L" handed out no module";
        return false;
    }
    bus_ = std::make_unique<RCBus>(mode_);
    bus_->AddListener([this](const RCBusMessage& message) {
        std::optional<KivoTaskEvent> event = KivoTaskEvent::Decode(message);
        if (!event || event->taskId() != taskId_)
            return;
        {
            std::lock_guard<std::mutex> guard(lock_);
            events_.push_back(std::move(*event));
        }
        arrived_.notify_all();
    });
    module_->Attach(bus_->HostFor(module_), L"");
    bus_->Post(RC::MSG_MODULE_START, L"", L"");
    return true;
}

void KivoTaskPeer::Post(const std::wstring& id, const std::vector<uint8_t>& record)
{
    if (bus_)
        bus_->Post(id, kPeerAddress, taskId_, &record);
}

void KivoTaskPeer::Setup(RC::ScanType scanType, const std::vector<std::wstring>& paths)
{
    RC::TaskSetupRequest request;
    request.taskId = taskId_;
    request.scanType = scanType;
    request.customPaths = paths;
    Post(RC::REQ_TASK_SETUP, RC::RCEncodeRecord(request));
}

void KivoTaskPeer::Command(RC::Command command)
{
    RC::TaskCommandRequest request;
    request.taskId = taskId_;
    request.command = command;
    Post(RC::REQ_TASK_COMMAND, RC::RCEncodeRecord(request));
}

void KivoTaskPeer::Operate(RC::Operation operation, const std::vector<uint32_t>& queryIds)
{
    RC::TaskOperateRequest request;
    request.taskId = taskId_;
    request.operation = operation;
    request.queryIds = queryIds;
    Post(RC::REQ_TASK_OPERATE, RC::RCEncodeRecord(request));
}

std::optional<KivoTaskEvent> KivoTaskPeer::Next(unsigned timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock_);
    if (!arrived_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return !events_.empty(); }))
        return std::nullopt;
    KivoTaskEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

} // namespace KivoHost
