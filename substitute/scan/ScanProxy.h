#pragma once
// The substitute engine's file-query proxy (object 0x2001 of Quentor.dll).
//
// Threads: the owner calls Init, UnInit, SetAssist, SetResultCallback, Start
// and Stop (one at a time); AddQuery, EndOfQueries and NotifyFile may come
// from any thread. A pool of workers, started by Start and joined by Stop,
// takes queries from a bounded queue, scans them and calls the result callback
// on its own thread. Every accepted query is answered exactly once (test
// controls aside): Stop lets the workers drain the queue, answering what they
// did not get to scan with an empty result, and returns only after the last
// callback has returned.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/IScanProxy.h"
#include "substitute/database/SignatureStore.h"
#include "substitute/scan/TestControls.h"

namespace Substitute {

class ScanProxy final : public RC::IScanProxy {
public:
    ScanProxy(SignatureStore& store, std::wstring engineFolder);
    ~ScanProxy();
    ScanProxy(const ScanProxy&) = delete;
    ScanProxy& operator=(const ScanProxy&) = delete;

    void __thiscall Init(const wchar_t* engineArgument) override;
    void __thiscall UnInit() override;
    void __thiscall SetAssist(RC::IEngineAssist* assist) override;
    void __thiscall Start() override;
    void __thiscall Stop() override;
    bool __thiscall AddQuery(std::uint32_t taskId, const wchar_t* path) override;
    void __thiscall EndOfQueries() override;
    void __thiscall SetResultCallback(void* context, RC::ScanResultCallback callback) override;
    void __thiscall NotifyFile(const wchar_t* path) override;

private:
    struct Query {
        std::uint32_t taskId;
        std::wstring path;
    };

    void StartWorkers(std::size_t count);
    void StopWorkers();
    void WorkerLoop();
    void Answer(const Query& query, const RC::ScanResult& result);
    // The answer to a file not read stays level 0; the file is listed for the host.
    void RecordUnread(const std::wstring& path, unsigned long error);
    // A file read whole with something inside it left unread: logged, and listed for the host.
    void RecordPartly(const std::wstring& path, const std::string& shortfall);
    TestControls ReadControls() const;

    SignatureStore& store_;
    const std::wstring folder_;

    std::mutex lifecycle_; // serialises Start, Stop and UnInit, and guards workers_
    std::vector<std::thread> workers_;

    std::mutex lock_; // guards everything below but cancel_
    std::condition_variable workChanged_;
    std::condition_variable roomFreed_;
    std::condition_variable cancelled_; // cuts the test controls' delay short
    std::deque<Query> queue_;
    std::size_t queueLimit_ = 0;
    bool started_ = false;
    std::shared_ptr<const TestControls> controls_;
    void* context_ = nullptr;
    RC::ScanResultCallback callback_ = nullptr;
    std::wstring engineArgument_;
    RC::IEngineAssist* assist_ = nullptr;

    // Read by the workers mid-scan without the lock; written under it.
    std::atomic<bool> cancel_{false};
};

} // namespace Substitute
