#pragma once
// Failures of a run's own machinery that a test causes on purpose, so that
// each one is seen to end the run rather than leave it silent or wedged.
// All off in production.
#include <string>

namespace RC {

struct RCRunFaults {
    bool noQueueEvents = false;     // the file scan queue's events are not created
    bool noQueryThread = false;     // the queue's query thread does not start
    bool noWorker = false;          // the enumeration worker does not start
    bool throwAtQueryBegin = false; // the query thread throws once the controller has heard it begin
    std::wstring threatThatThrows;  // taking this file's threat into the run's list throws
    std::wstring answerThatThrows;  // the queue's report of this file's answer throws

    // A fault names its file by the end of the path.
    static bool Names(const std::wstring& file, const std::wstring& path)
    {
        return !file.empty() && path.size() >= file.size() &&
               path.compare(path.size() - file.size(), file.size(), file) == 0;
    }
};

} // namespace RC
