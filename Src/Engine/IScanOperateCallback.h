#pragma once
// What the trojan list reports: threats as they are added, and the course of
// a threat operation. Implemented by the task info; called on the query
// thread (threats) and on the trojan list's worker (operations).
#include <cstdint>

#include "module/RCBusCodes.h"

namespace RC {

class IScanOperateCallback {
public:
    virtual void OnThreatAdded(uint32_t queryId) = 0;
    virtual void OnOperateBegin(Operation operation) = 0;
    virtual int32_t OnOperateItemBegin(Operation operation, uint32_t queryId) = 0;
    virtual int32_t OnOperateItemSucceeded(Operation operation, uint32_t queryId) = 0;
    virtual int32_t OnOperateItemFailed(Operation operation, uint32_t queryId) = 0;
    virtual void OnOperateProgress(uint32_t processed, uint32_t total) = 0;
    virtual void OnOperateEnd(Operation operation) = 0;
    virtual ~IScanOperateCallback() = default;
};

} // namespace RC
