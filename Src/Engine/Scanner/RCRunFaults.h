#pragma once
// Failures of a run's own machinery that a test causes on purpose, so that
// each one is seen to end the run rather than leave it silent or wedged.
// All off in production.
namespace RC {

struct RCRunFaults {
    bool noQueueEvents = false;     // the file scan queue's events are not created
    bool noQueryThread = false;     // the queue's query thread does not start
    bool noWorker = false;          // the enumeration worker does not start
    bool throwAtQueryBegin = false; // the query thread throws once the controller has heard it begin
};

} // namespace RC
