#pragma once
// How the file scan queue reports to the scan controller. OnQueryBegin and
// OnQueryEnd come on the query thread; OnFileQueryBegin on the caller of
// AddFileQueryTask; OnFileQueryEnd on the query thread for engine results and
// time-outs, on the caller's thread for item-end markers and failed
// submissions. The results are not read.
#include "Src/Engine/Scanner/FileQueryTask.h"

namespace RC {

class IAvFileScanEvent {
public:
    virtual bool OnQueryBegin() = 0;
    virtual bool OnFileQueryBegin(FileQueryTask* task) = 0;
    virtual bool OnFileQueryEnd(FileQueryTask* task) = 0;
    virtual bool OnQueryEnd() = 0;
    virtual ~IAvFileScanEvent() = default;
};

} // namespace RC
