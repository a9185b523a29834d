#include "Src/Engine/RCScanCtrlInfo.h"

#include <cwchar>
#include <iterator>
#include <new>
#include <utility>

#include "Src/Engine/RCScanPlan.h"
#include "Src/Engine/RCTrevoxCtrl.h"
#include "foundation/RCDebugger.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"
#include "module/RCModuleSender.h"

namespace RC {

namespace {

using Category = RCScanCtrlInfo::ThreatCategory;

const wchar_t kTrojanAdvice[] = L"木马文件通常利用系统漏洞，达到破坏系统，盗取账号，篡改文件的目的，请您立即处理";

// Threats (level 3) by sub-level.
const Category kLevel3[] = {
    {2, L"木马", 1, L"隔离文件", kTrojanAdvice},
    {2, L"病毒", 3, L"清除病毒", L"病毒文件具有极大的破坏性，可能会造成系统崩溃，死机，数据丢失，请您立即处理"},
    {2, L"木马", 1, L"隔离文件", kTrojanAdvice},
};

// Risks (level 2) by sub-level.
const Category kLevel2[] = {
    {1, L"风险", 1, L"隔离文件", L"风险文件可能会造成数据丢失，账号被盗，给系统带来风险，请您谨慎运行"},
    {1, L"插件", 1, L"隔离文件", L"插件文件可能会恶意获取您的隐私信息，造成数据丢失，请您谨慎运行"},
    {1, L"捆绑", 1, L"隔离文件", L"捆绑文件可能会向您推广恶意软件，给系统带来风险，请您谨慎运行"},
    {1, L"外挂", 1, L"隔离文件", L"外挂文件可能会造成数据丢失，账号被盗，请您谨慎运行"},
};

// Items whose threats are hijacks of a setting rather than files on disk.
struct FixedPrefix {
    uint32_t showType;
    const wchar_t* prefix;
};
const FixedPrefix kFixedPrefixes[] = {
    {kImageHijackShowType, L"发现镜像劫持："},
    {kSearchHijackShowType, L"浏览器默认搜索被劫持："},
    {kDownloadToolShowType, L"默认下载工具被劫持："},
};

} // namespace

RCScanCtrlInfo::RCScanCtrlInfo(std::wstring taskId, std::wstring address1, std::wstring address2,
                               const RCModuleSender* sender)
    : taskId_(std::move(taskId)), address1_(std::move(address1)), address2_(std::move(address2)), sender_(sender)
{
}

RCScanCtrlInfo::~RCScanCtrlInfo()
{
    if (controller_)
        UnInit();
}

bool RCScanCtrlInfo::Init()
{
    RC_LOG(Lifecycle, L"Init enter");
    if (controller_)
        return true;
    controller_.reset(new (std::nothrow) RCSafeTrevoxCtrl());
    if (!controller_)
        return false;
    controller_->Initialize(taskId_.c_str());
    controller_->GetObserver()->SetCallback(this);
    controller_->GetTrojaneList()->SetObserver(this);
    RC_LOG(Lifecycle, L"Init leave");
    return true;
}

void RCScanCtrlInfo::UnInit()
{
    RC_LOG(Lifecycle, L"UnInit enter");
    if (!controller_)
        return;
    controller_->UnInitialize();
    controller_.reset();
    RC_LOG(Lifecycle, L"Uninit leave");
}

template <class Record>
void RCScanCtrlInfo::Post(const std::wstring& id, const Record& record) const
{
    sender_->SendRecord(address1_, address2_, id, RCEncodeRecord(record));
}

void RCScanCtrlInfo::PostSetupDone() const
{
    if (sender_ == nullptr || !controller_)
        return;
    TaskSetupDoneEvent event;
    event.taskId = taskId_;
    for (const ScanItem& item : controller_->GetObserver()->GetItems())
        event.items.push_back({item.showType, item.displayName});
    Post(EVT_TASK_SETUP_DONE, event);
}

void RCScanCtrlInfo::PostScanState(const ScanStatusBlock& status) const
{
    if (sender_ == nullptr)
        return;
    ScanStateEvent event;
    event.taskId = taskId_;
    event.state = status.state;
    event.counts = status.counts;
    Post(EVT_SCAN_STATE, event);
}

void RCScanCtrlInfo::PostOperateState(OperatePhase phase, Operation operation) const
{
    if (sender_ == nullptr)
        return;
    OperateStateEvent event;
    event.taskId = taskId_;
    event.phase = phase;
    event.operation = operation;
    Post(EVT_OPERATE_STATE, event);
}

void RCScanCtrlInfo::PostOperateItem(uint32_t queryId, OperateOutcome outcome, Operation operation) const
{
    if (sender_ == nullptr)
        return;
    OperateItemEvent event;
    event.taskId = taskId_;
    event.queryId = queryId;
    event.outcome = outcome;
    event.operation = operation;
    Post(EVT_OPERATE_ITEM, event);
}

void RCScanCtrlInfo::OnScanStateChange(const ScanStatusBlock* status)
{
    if (status != nullptr)
        PostScanState(*status);
}

void RCScanCtrlInfo::OnScanProgressChange(const ScanProgressBlock* progress)
{
    if (sender_ == nullptr || progress == nullptr)
        return;
    RC_LOG(Progress, L"progress %d, Scanned %d, Virus %d", progress->percent, progress->counts.filesFound,
           progress->counts.level3Found);
    ScanProgressEvent event;
    event.taskId = taskId_;
    event.percent = progress->percent;
    event.currentFile = progress->currentFile;
    event.currentShowType = progress->currentShowType;
    event.counts = progress->counts;
    Post(EVT_SCAN_PROGRESS, event);
}

template <class ItemEvent>
void RCScanCtrlInfo::PostItem(const std::wstring& id, uint32_t showType, const ItemRow* row) const
{
    if (sender_ == nullptr || row == nullptr)
        return;
    ItemEvent event;
    event.taskId = taskId_;
    event.showType = showType;
    event.status = row->status;
    event.counts = row->counts;
    Post(id, event);
}

void RCScanCtrlInfo::OnItemStatusChange(uint32_t showType, const ItemRow* row)
{
    PostItem<ItemStatusEvent>(EVT_ITEM_STATUS, showType, row);
}

void RCScanCtrlInfo::OnItemProgressChange(uint32_t showType, const ItemRow* row)
{
    PostItem<ItemProgressEvent>(EVT_ITEM_PROGRESS, showType, row);
}

const RCScanCtrlInfo::ThreatCategory& RCScanCtrlInfo::CategoryOf(ThreatLevel level, uint32_t subLevel)
{
    if (level == ThreatLevel::Threat)
        return subLevel < std::size(kLevel3) ? kLevel3[subLevel] : kLevel3[0];
    if (level == ThreatLevel::Risk && subLevel < std::size(kLevel2))
        return kLevel2[subLevel];
    return kLevel2[0];
}

std::wstring RCScanCtrlInfo::Describe(uint32_t showType, const ThreatCategory& category, const std::wstring& threatName)
{
    for (const FixedPrefix& fixed : kFixedPrefixes)
        if (fixed.showType == showType)
            return fixed.prefix + threatName;
    const std::wstring found = showType == kAllDisksShowType
                                   ? std::wstring(L"电脑磁盘文件发现")
                                   : RCScanPlan::DisplayName(static_cast<int32_t>(showType)) + L"发现";
    return found + category.categoryName + L":" + threatName;
}

void RCScanCtrlInfo::OnThreatAdded(uint32_t queryId)
{
    // The controller may be gone by now (a stop raced the last answer).
    if (sender_ == nullptr || !controller_)
        return;
    FileQueryTask threat;
    if (!controller_->GetTrojaneList()->FindThreat(queryId, threat))
        return;
    const ScanResult& result = threat.result;
    const std::wstring threatName(result.threatName, wcsnlen(result.threatName, kThreatNameUnits));
    const ThreatCategory& category = CategoryOf(threat.level(), result.subLevel);

    ThreatFoundEvent event;
    event.taskId = taskId_;
    event.queryId = queryId;
    event.filePath = threat.path;
    event.signatureRecord = result.signatureRecord;
    event.fileSize = result.fileSizeLow;
    event.showType = threat.showType;
    event.description = Describe(threat.showType, category, threatName);
    event.advice = category.advice;
    event.threatName = threatName;
    event.categoryCode = category.categoryCode;
    event.categoryName = category.categoryName;
    event.actionCode = category.actionCode;
    event.actionName = category.actionName;
    Post(EVT_THREAT_FOUND, event);
}

void RCScanCtrlInfo::OnOperateBegin(Operation operation)
{
    PostOperateState(OperatePhase::Started, operation);
}

int32_t RCScanCtrlInfo::OnOperateItemBegin(Operation operation, uint32_t queryId)
{
    PostOperateItem(queryId, OperateOutcome::Started, operation);
    return 0;
}

int32_t RCScanCtrlInfo::OnOperateItemSucceeded(Operation operation, uint32_t queryId)
{
    PostOperateItem(queryId, OperateOutcome::Succeeded, operation);
    return 0;
}

int32_t RCScanCtrlInfo::OnOperateItemFailed(Operation operation, uint32_t queryId)
{
    PostOperateItem(queryId, OperateOutcome::Failed, operation);
    return 0;
}

void RCScanCtrlInfo::OnOperateProgress(uint32_t processed, uint32_t total)
{
    if (sender_ == nullptr)
        return;
    OperateProgressEvent event;
    event.taskId = taskId_;
    event.processed = processed;
    event.total = total;
    Post(EVT_OPERATE_PROGRESS, event);
}

void RCScanCtrlInfo::OnOperateEnd(Operation operation)
{
    PostOperateState(OperatePhase::Finished, operation);
}

} // namespace RC
