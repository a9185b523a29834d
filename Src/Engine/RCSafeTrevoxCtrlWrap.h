#pragma once
// The registry of scan tasks by TaskId. A peer names its tasks as it likes
// (any text, the empty one too); the first setup request of a TaskId creates
// the task, every later request finds it again, and entries stay until the
// module is destroyed. Commands become calls on the task's scan controller;
// their replies go to the addresses of the command request, every other event
// of a task to the addresses it was created with.
//
// A module stop releases every task's controller but keeps the task. A later
// setup request for such a task gives it a fresh controller through its Init,
// so that a module stopped and started again goes on serving its tasks;
// commands, operations and cancels for it find no controller and do nothing
// (commands answer false).
//
// Threads: called on the host's delivery thread, one call at a time (the
// thread may change from call to call), so it has no lock; the thread checks
// hold it to that. The tasks' texts are read by their controllers' workers,
// but they never change after a task is created.
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "Src/Engine/RCScanCtrlInfo.h"
#include "foundation/RCThreadChecker.h"

namespace RC {

class RCModuleSender;

class RCSafeTrevoxCtrlWrap {
public:
    RCSafeTrevoxCtrlWrap();
    virtual ~RCSafeTrevoxCtrlWrap();
    RCSafeTrevoxCtrlWrap(const RCSafeTrevoxCtrlWrap&) = delete;
    RCSafeTrevoxCtrlWrap& operator=(const RCSafeTrevoxCtrlWrap&) = delete;

    // Tasks created from now on post through it.
    void SetSender(const RCModuleSender* sender);
    // Releases every task's scan controller, in TaskId order; the tasks stay.
    void UnInitAll();
    // Task requests; any other identifier is ignored, and so is a request
    // whose record cannot be read.
    void OnReceiveMessage(const std::wstring& address1, const std::wstring& address2, const std::wstring& id,
                          const uint8_t* data, uint32_t size);

private:
    struct Registry {
        // Ordinal order, code unit by code unit: TaskIds differing in case
        // are different tasks.
        std::map<std::wstring, RCScanCtrlInfo> tasks;
        const RCModuleSender* sender = nullptr;
        RCSequenceChecker delivery;
    };

    void OnSetup(const std::wstring& address1, const std::wstring& address2, const uint8_t* data, uint32_t size);
    void OnCommand(const std::wstring& address1, const std::wstring& address2, const uint8_t* data, uint32_t size);
    void OnOperate(const uint8_t* data, uint32_t size);
    void OnCancelOperate(const uint8_t* data, uint32_t size);
    RCScanCtrlInfo* Find(const std::wstring& taskId);
    // Find, with the log line of a request for a task that was never set up.
    RCScanCtrlInfo* FindExisting(const std::wstring& taskId);

    std::unique_ptr<Registry> registry_;
};

} // namespace RC
