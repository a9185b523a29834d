#pragma once
// An engine proxy that answers every query at once with a clean result and
// never opens the file, so that what a benchmark measures around it is the
// caller's own cost per file. Like the real engine it answers on its own
// thread, never inside AddQuery.
//
// Threads: the owner calls Init, UnInit, Start and Stop; AddQuery and
// EndOfQueries come from any thread; one answering thread, started by Start
// and joined by Stop, calls the result callback.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "engine/IScanProxy.h"

namespace Bench {

class InstantProxy final : public RC::IScanProxy {
public:
    InstantProxy() = default;
    ~InstantProxy();

    void __thiscall Init(const wchar_t* engineArgument) override {}
    void __thiscall UnInit() override { Stop(); }
    void __thiscall SetAssist(RC::IEngineAssist* assist) override {}
    void __thiscall Start() override;
    void __thiscall Stop() override;
    bool __thiscall AddQuery(std::uint32_t taskId, const wchar_t* path) override;
    void __thiscall EndOfQueries() override {}
    void __thiscall SetResultCallback(void* context, RC::ScanResultCallback callback) override;
    void __thiscall NotifyFile(const wchar_t* path) override {}

private:
    void AnswerLoop();

    std::mutex lock_;
    std::condition_variable queued_;
    std::deque<std::uint32_t> queue_;
    bool started_ = false;
    void* context_ = nullptr;
    RC::ScanResultCallback callback_ = nullptr;
    std::thread answerer_;
};

} // namespace Bench
