#include "host/KivoTaskRun.h"

#include <cstdio>

#include "foundation/RCTextConvert.h"
#include "host/KivoEnglish.h"
#include "host/KivoUnixPath.h"

using RC::Command;
using RC::ItemStatus;
using RC::OperateOutcome;
using RC::OperatePhase;
using RC::Operation;
using RC::ScanState;
using RC::ScanType;

namespace KivoHost {

namespace {

// How long the module may take to answer a request that needs no scan.
constexpr unsigned kAnswerTimeoutMs = 60000;
constexpr unsigned kPollMs = 200;

} // namespace

KivoTaskRun::KivoTaskRun(KivoTaskPeer& peer, KivoConsole& console, const KivoScanOptions& options,
                         const std::atomic<int>& interrupts, bool reportThreats, std::optional<uint32_t> toScan)
    : peer_(peer), console_(console), options_(options), interrupts_(interrupts), reportThreats_(reportThreats),
      toScan_(toScan), chinese_(KivoWantsChinese())
{
}

template <class Done>
bool KivoTaskRun::Await(Done done)
{
    for (;;) {
        std::optional<KivoTaskEvent> event = peer_.Next(kAnswerTimeoutMs);
        if (!event)
            return false;
        Show(*event);
        if (done(*event))
            return true;
    }
}

KivoRunResult KivoTaskRun::Scan(ScanType scanType, const std::vector<std::wstring>& paths)
{
    peer_.Setup(scanType, paths);
    if (!Await([](const KivoTaskEvent& e) { return e.kind() == KivoTaskEvent::Kind::SetupDone; }))
        return result_;
    result_.answered = true;
    peer_.Command(Command::Start);
    bool stopSent = false;
    bool startAnswered = false;
    unsigned silentMs = 0;
    for (;;) {
        if (interrupts_.load() > 0 && !stopSent) {
            peer_.Command(Command::Stop);
            stopSent = true;
        }
        std::optional<KivoTaskEvent> event = peer_.Next(kPollMs);
        if (!event) {
            // A running scan may be quiet for long; a start that is never answered is an error.
            silentMs += kPollMs;
            if (!startAnswered && silentMs >= kAnswerTimeoutMs)
                return result_;
            continue;
        }
        silentMs = 0;
        Show(*event);
        if (event->kind() == KivoTaskEvent::Kind::CommandResult && event->commandResult.command == Command::Start) {
            startAnswered = true;
            if (!event->commandResult.result)
                return result_;
        }
        // The run's own states may come before the start command's
        // result: a small scan can end before the reply is posted.
        if (event->kind() == KivoTaskEvent::Kind::ScanState && event->scanState.state != ScanState::NotStarted) {
            result_.started = startAnswered = true;
            if (event->scanState.state == ScanState::Stopped || event->scanState.state == ScanState::Completed) {
                EndProgress();
                return Finish();
            }
        }
    }
}

bool KivoTaskRun::Operate(Operation operation, const std::vector<uint32_t>& queryIds, unsigned& succeeded)
{
    peer_.Operate(operation, queryIds);
    succeeded = 0;
    return Await([&](const KivoTaskEvent& e) {
        if (e.kind() == KivoTaskEvent::Kind::OperateItem && e.operateItem.outcome == OperateOutcome::Succeeded)
            ++succeeded;
        return e.kind() == KivoTaskEvent::Kind::OperateState && e.operateState.phase == OperatePhase::Finished;
    });
}

std::wstring KivoTaskRun::ForPeople(const std::wstring& text) const
{
    return chinese_ ? text : KivoEnglish(text);
}

const KivoRunResult& KivoTaskRun::Finish()
{
    result_.scanned = Answered();
    result_.detections = 0;
    for (const auto& [showType, item] : items_)
        result_.detections += item.level2 + item.level3;
    return result_;
}

void KivoTaskRun::Show(const KivoTaskEvent& event)
{
    if (options_.json)
        console_.Out(event.Json());
    switch (event.kind()) {
    case KivoTaskEvent::Kind::SetupDone:
        for (const RC::ScanItemEntry& item : event.setupDone.items)
            itemNames_[item.showType] = item.displayName;
        break;
    case KivoTaskEvent::Kind::ScanState:
        result_.state = event.scanState.state;
        result_.filesFound = event.scanState.counts.filesFound;
        break;
    case KivoTaskEvent::Kind::ScanProgress:
        result_.filesFound = event.scanProgress.counts.filesFound;
        modulePercent_ = event.scanProgress.percent;
        currentShowType_ = event.scanProgress.currentShowType;
        currentFile_ = event.scanProgress.currentFile;
        ShowProgress(false);
        break;
    case KivoTaskEvent::Kind::ItemProgress:
        items_[event.itemProgress.showType].scanned = event.itemProgress.counts.scanned;
        ShowProgress(false);
        break;
    case KivoTaskEvent::Kind::ItemStatus:
        ShowItemStatus(event.itemStatus);
        break;
    case KivoTaskEvent::Kind::ThreatFound:
        ShowThreat(event.threat);
        break;
    case KivoTaskEvent::Kind::OperateItem:
        ShowOperateItem(event.operateItem);
        break;
    default:
        break;
    }
}

std::wstring KivoTaskRun::ItemName(uint32_t showType) const
{
    auto found = itemNames_.find(showType);
    return found != itemNames_.end() ? ForPeople(found->second) : L"item " + std::to_wstring(showType);
}

void KivoTaskRun::ShowItemStatus(const RC::ItemStatusEvent& status)
{
    // The status event carries no scanned count: the progress events keep it.
    RC::ItemCounts& item = items_[status.showType];
    item.level2 = status.counts.level2;
    item.level3 = status.counts.level3;
    if (status.status != ItemStatus::Finished || options_.quiet || options_.json || console_.interactive())
        return;
    const uint32_t found = status.counts.enumerated, detections = item.level2 + item.level3;
    console_.Out(RCWideToUtf8(ItemName(status.showType)) + ": finished, " + std::to_string(found) +
                 (found == 1 ? " file" : " files") + " found, " + std::to_string(detections) +
                 (detections == 1 ? " detection" : " detections"));
}

uint32_t KivoTaskRun::Answered() const
{
    uint32_t answered = 0;
    for (const auto& [showType, item] : items_)
        answered += item.scanned;
    return answered;
}

uint32_t KivoTaskRun::Percent(bool completed) const
{
    if (completed)
        return 100;
    if (!toScan_)
        return modulePercent_ < 99 ? modulePercent_ : 99;
    const uint32_t scanned = Answered();
    if (*toScan_ == 0)
        return 0;
    return scanned >= *toScan_ ? 99 : static_cast<uint32_t>(uint64_t{scanned} * 100 / *toScan_);
}

void KivoTaskRun::ShowProgress(bool completed)
{
    if (options_.quiet || (!console_.interactive() && !options_.progress))
        return;
    const uint32_t percent = Percent(completed);
    // Lines written one under the other change only with the percentage.
    if (!console_.interactive() && percent == shownPercent_)
        return;
    shownPercent_ = percent;
    wchar_t head[16];
    std::swprintf(head, 16, L"[%3u%%] ", percent);
    // Files answered by the engine of those found so far: what was found
    // is not yet scanned.
    std::wstring line = head + ItemName(currentShowType_) + L" | files " + std::to_wstring(Answered()) + L"/" +
                        std::to_wstring(result_.filesFound) + L" | threats " +
                        std::to_wstring(result_.threats.size()) + L" | ";
    // The current file's tail, so the line fits a terminal of 80 columns.
    const size_t used = KivoColumns(line);
    std::wstring file = completed ? std::wstring() : KivoShown(options_, currentFile_);
    const size_t full = file.size();
    const size_t room = used < 76 ? 76 - used : 0;
    while (!file.empty() && KivoColumns(file) > room)
        file.erase(0, 1);
    if (file.size() < full && file.size() > 3)
        file.replace(0, 3, L"...");
    console_.Progress(line + file);
}

void KivoTaskRun::EndProgress()
{
    if (result_.state == ScanState::Completed) {
        ShowProgress(true);
        console_.KeepProgress();
    }
    console_.ClearProgress();
}

void KivoTaskRun::ShowThreat(const RC::ThreatFoundEvent& threat)
{
    result_.threats.push_back(threat);
    if (options_.json || !reportThreats_)
        return;
    console_.Out(RCWideToUtf8(KivoShown(options_, threat.filePath) + L": " + threat.threatName + L" FOUND"));
    if (!options_.quiet)
        console_.Out(RCWideToUtf8(L"    " + ForPeople(threat.categoryName) + L", " + ForPeople(threat.actionName) + L": " +
                        ForPeople(threat.advice)));
}

void KivoTaskRun::ShowOperateItem(const RC::OperateItemEvent& item)
{
    if (item.outcome != OperateOutcome::Succeeded && item.outcome != OperateOutcome::Failed)
        return;
    if (item.outcome == OperateOutcome::Succeeded && item.operation == Operation::Quarantine)
        ++result_.quarantined;
    if (options_.json || item.operation != Operation::Quarantine)
        return;
    std::wstring path = L"query " + std::to_wstring(item.queryId);
    for (const RC::ThreatFoundEvent& threat : result_.threats)
        if (threat.queryId == item.queryId)
            path = KivoShown(options_, threat.filePath);
    console_.Out(
        RCWideToUtf8(path + (item.outcome == OperateOutcome::Succeeded ? L": quarantined" : L": quarantine failed")));
}

} // namespace KivoHost
