#pragma once
// The run's distinct threats, one per file (keyed by the normalised path),
// and the worker that applies an operation to chosen threats through the
// engine's threat operator.
//
// Threads: the query thread adds threats; the bus thread finds them, starts
// and cancels operations; the worker reads them and reports to the observer.
// The map has a lock of its own, never held across an engine or observer
// call. Only one worker exists at a time: Operate joins the previous one.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Src/Engine/IScanOperateCallback.h"
#include "Src/Engine/Scanner/FileQueryTask.h"

namespace RC {

class RCTrojaneList {
public:
    RCTrojaneList();
    ~RCTrojaneList();
    RCTrojaneList(const RCTrojaneList&) = delete;
    RCTrojaneList& operator=(const RCTrojaneList&) = delete;

    // True when the engine's threat operator exists.
    bool Init();
    void UnInit();
    void SetObserver(IScanOperateCallback* observer);

    // The task id when the file is new to the list, 0 when it was listed.
    uint32_t AddThreat(const FileQueryTask& task);
    // The listed threat with that task id; false leaves out as it was.
    [[nodiscard]] bool FindThreat(uint32_t taskId, FileQueryTask& out) const;
    // Starts a worker for the operation on the ids (after stopping any
    // previous one); ids that are not listed are skipped.
    bool Operate(Operation operation, const std::vector<uint32_t>& ids);
    // The worker stops after its current file.
    void CancelOperation();
    void Clear();

    static std::wstring NormalizePath(const std::wstring& path);

private:
    struct State;
    static void __cdecl WorkerRoutine(void* context);
    void RunOperation();
    bool Apply(Operation operation, const FileQueryTask& threat);
    void StopWorker();

    std::unique_ptr<State> state_;
};

} // namespace RC
