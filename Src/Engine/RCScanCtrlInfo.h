#pragma once
// One scan task: its TaskId, the addresses of the request that created it,
// the module's sender and the task's scan controller. It is the task's only
// way out to the bus: each progress callback of the controller and each
// report of its trojan list becomes exactly one event, posted to the
// addresses the task was created with.
//
// Threads: the registry creates, Inits, UnInits and destroys it on the host's
// delivery thread. The callbacks come on the controller's workers (the
// enumeration thread, the query thread, the trojan list's worker), several
// at once. There is no lock: the texts and the sender are set before the
// controller exists and never change, and each post builds its own buffer.
//
// Ownership: the info owns its controller from Init to UnInit; the sender
// belongs to the module.
#include <cstdint>
#include <memory>
#include <string>

#include "Src/Engine/IScanObCallback.h"
#include "Src/Engine/IScanOperateCallback.h"
#include "foundation/RCNonCopyable.h"

namespace RC {

class RCModuleSender;
class RCSafeTrevoxCtrl;

class RCScanCtrlInfo : public IScanObCallback, public IScanOperateCallback, private RCNonCopyable {
public:
    // How a found threat is presented to the user.
    struct ThreatCategory {
        uint32_t categoryCode;
        const wchar_t* categoryName;
        uint32_t actionCode;
        const wchar_t* actionName;
        const wchar_t* advice;
    };

    // The sender may be null (a task set up before the module started): the
    // task then runs but posts nothing.
    RCScanCtrlInfo(std::wstring taskId, std::wstring address1, std::wstring address2, const RCModuleSender* sender);
    // A controller still held (the module was released without a stop) is
    // torn down here, so that no worker outlives the sender it posts through.
    ~RCScanCtrlInfo() override;

    // Creates and initialises the controller and connects both callbacks;
    // false only when the controller cannot be created.
    bool Init();
    void UnInit();
    // Null before Init and after UnInit.
    RCSafeTrevoxCtrl* Controller() const { return controller_.get(); }
    const std::wstring& TaskId() const { return taskId_; }

    // IScanObCallback
    void OnScanStateChange(const ScanStatusBlock* status) override;
    void OnScanProgressChange(const ScanProgressBlock* progress) override;
    void OnItemStatusChange(uint32_t showType, const ItemRow* row) override;
    void OnItemProgressChange(uint32_t showType, const ItemRow* row) override;

    // IScanOperateCallback
    void OnThreatAdded(uint32_t queryId) override;
    void OnOperateBegin(Operation operation) override;
    int32_t OnOperateItemBegin(Operation operation, uint32_t queryId) override;
    int32_t OnOperateItemSucceeded(Operation operation, uint32_t queryId) override;
    int32_t OnOperateItemFailed(Operation operation, uint32_t queryId) override;
    void OnOperateProgress(uint32_t processed, uint32_t total) override;
    void OnOperateEnd(Operation operation) override;

    // The controller's scan items; nothing without a controller.
    void PostSetupDone() const;
    void PostScanState(const ScanStatusBlock& status) const;
    void PostOperateState(OperatePhase phase, Operation operation) const;

    static const ThreatCategory& CategoryOf(ThreatLevel level, uint32_t subLevel);
    // What the user reads about a threat found by the item showType.
    static std::wstring Describe(uint32_t showType, const ThreatCategory& category, const std::wstring& threatName);

private:
    template <class Record>
    void Post(const std::wstring& id, const Record& record) const;
    // Either item event: where the item's row becomes a bus record.
    template <class ItemEvent>
    void PostItem(const std::wstring& id, uint32_t showType, const ItemRow* row) const;
    void PostOperateItem(uint32_t queryId, OperateOutcome outcome, Operation operation) const;

    const std::wstring taskId_;
    const std::wstring address1_;
    const std::wstring address2_;
    const RCModuleSender* const sender_;
    std::unique_ptr<RCSafeTrevoxCtrl> controller_;
};

} // namespace RC
