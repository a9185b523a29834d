#include "substitute/scan/ScanProxy.h"

#include <windows.h>

#include <chrono>
#include <cstring>
#include <cstdio>

#include "foundation/RCDebugger.h"
#include "foundation/RCNoThrowBoundary.h"
#include "substitute/system/EngineFiles.h"
#include "substitute/scan/FileScanner.h"
#include "substitute/scan/UnreadFiles.h"

namespace Substitute {

namespace {

constexpr std::size_t kQueuedQueriesPerWorker = 256;
constexpr std::uint64_t kMaxControlsBytes = 1 << 20;

std::string Timestamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

// How far archives are looked into: clamscan's defaults, and what the host
// asks (kivoscan's --alert-encrypted-archive).
ArchiveLimits LimitsAsked()
{
    ArchiveLimits limits;
    limits.alertEncrypted = GetEnvironmentVariableW(L"QUENTOR_ALERT_ENCRYPTED", nullptr, 0) != 0;
    return limits;
}

} // namespace

ScanProxy::ScanProxy(SignatureStore& store, std::wstring engineFolder)
    : store_(store), folder_(std::move(engineFolder)), controls_(std::make_shared<const TestControls>())
{
}

ScanProxy::~ScanProxy()
{
    Stop();
}

void ScanProxy::Init(const wchar_t* engineArgument)
{
    RC::RCNoThrowBoundary("ScanProxy::Init", [&] {
        std::lock_guard<std::mutex> guard(lock_);
        engineArgument_ = engineArgument != nullptr ? engineArgument : L"";
    });
}

void ScanProxy::UnInit()
{
    Stop();
    RC::RCNoThrowBoundary("ScanProxy::UnInit", [&] {
        std::lock_guard<std::mutex> guard(lock_);
        callback_ = nullptr;
        context_ = nullptr;
        assist_ = nullptr;
    });
}

void ScanProxy::SetAssist(RC::IEngineAssist* assist)
{
    // Kept for the owner's sake only: signatures reach the proxy through the
    // library's shared store, which the assist's BeginRun refreshes.
    RC::RCNoThrowBoundary("ScanProxy::SetAssist", [&] {
        std::lock_guard<std::mutex> guard(lock_);
        assist_ = assist;
    });
}

void ScanProxy::SetResultCallback(void* context, RC::ScanResultCallback callback)
{
    RC::RCNoThrowBoundary("ScanProxy::SetResultCallback", [&] {
        std::lock_guard<std::mutex> guard(lock_);
        context_ = context;
        callback_ = callback;
    });
}

TestControls ScanProxy::ReadControls() const
{
    const std::optional<std::string> text =
        EngineFiles::ReadSmallFile(EngineFiles::Join(folder_, L"Quentor.ini"), kMaxControlsBytes);
    return text ? TestControls::Parse(EngineFiles::DecodeText(*text)) : TestControls();
}

void ScanProxy::Start()
{
    RC::RCNoThrowBoundary("ScanProxy::Start", [&] {
        std::lock_guard<std::mutex> life(lifecycle_);
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (started_)
                return;
        }
        auto controls = std::make_shared<const TestControls>(ReadControls());
        store_.Current(); // the first run loads the databases before the first query waits for them
        {
            std::lock_guard<std::mutex> guard(lock_);
            controls_ = controls;
            started_ = true;
            cancel_ = false;
        }
        StartWorkers(controls->Workers());
    });
}

void ScanProxy::StartWorkers(std::size_t count)
{
    if (count == 0)
        count = std::thread::hardware_concurrency();
    if (count == 0)
        count = 1;
    {
        std::lock_guard<std::mutex> guard(lock_);
        queueLimit_ = count * kQueuedQueriesPerWorker;
    }
    try {
        while (workers_.size() < count)
            workers_.emplace_back([this] { RC::RCNoThrowBoundary("ScanProxy worker", [this] { WorkerLoop(); }); });
    } catch (...) {
    }
    if (workers_.empty()) {
        std::lock_guard<std::mutex> guard(lock_);
        started_ = false;
    }
}

void ScanProxy::Stop()
{
    RC::RCNoThrowBoundary("ScanProxy::Stop", [&] {
        std::lock_guard<std::mutex> life(lifecycle_);
        StopWorkers();
    });
}

void ScanProxy::StopWorkers()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        started_ = false;
        cancel_ = true;
    }
    workChanged_.notify_all();
    roomFreed_.notify_all();
    cancelled_.notify_all();
    for (std::thread& worker : workers_) {
        // A callback that stops its own proxy cannot wait for itself.
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else if (worker.joinable())
            worker.join();
    }
    workers_.clear();
    std::lock_guard<std::mutex> guard(lock_);
    cancel_ = false;
}

bool ScanProxy::AddQuery(std::uint32_t taskId, const wchar_t* path)
{
    if (path == nullptr || *path == L'\0')
        return false;
    const bool queued = RC::RCNoThrowBoundary("ScanProxy::AddQuery", false, [&] {
        Query query{taskId, path};
        std::unique_lock<std::mutex> guard(lock_);
        if (!started_ || controls_->Refuses(query.path))
            return false;
        // A full queue holds the caller back rather than growing without bound.
        roomFreed_.wait(guard, [&] { return queue_.size() < queueLimit_ || !started_; });
        if (!started_)
            return false;
        queue_.push_back(std::move(query));
        return true;
    });
    if (queued)
        workChanged_.notify_one();
    return queued;
}

void ScanProxy::EndOfQueries()
{
    // Nothing to flush: each query is answered as soon as a worker is done with it.
}

void ScanProxy::WorkerLoop()
{
    std::unique_ptr<FileScanner> scanner;
    RC::RCNoThrowBoundary("ScanProxy worker", [&] { scanner = std::make_unique<FileScanner>(LimitsAsked()); });
    for (;;) {
        Query query;
        std::shared_ptr<const TestControls> controls;
        bool wakeSubmitter = false;
        {
            std::unique_lock<std::mutex> guard(lock_);
            workChanged_.wait(guard, [&] { return !queue_.empty() || !started_; });
            if (queue_.empty())
                return;
            query = std::move(queue_.front());
            queue_.pop_front();
            controls = controls_;
            // A blocked submitter waits for a full queue to drain; waking it
            // at half rather than for every file lets it add in batches.
            wakeSubmitter = queue_.size() == queueLimit_ / 2;
        }
        if (wakeSubmitter)
            roomFreed_.notify_all();
        if (controls->NeverAnswers(query.path))
            continue;

        RC::ScanResult result;
        std::memset(&result, 0, sizeof result);
        if (!cancel_) {
            // A scan that fails to run reads nothing either.
            unsigned long unread = ERROR_NOT_ENOUGH_MEMORY;
            if (scanner)
                RC::RCNoThrowBoundary("ScanProxy worker", [&] {
                    unread = scanner->Scan(query.path.c_str(), *store_.Current(), cancel_, result);
                });
            if (unread != ERROR_SUCCESS && !cancel_)
                RecordUnread(query.path, unread);
            else if (unread == ERROR_SUCCESS && !cancel_ && !scanner->Shortfall().empty())
                RecordPartly(query.path, scanner->Shortfall());
            if (controls->DelayMs() != 0) {
                std::unique_lock<std::mutex> guard(lock_);
                cancelled_.wait_for(guard, std::chrono::milliseconds(controls->DelayMs()),
                                    [&] { return cancel_.load(); });
            }
        }
        Answer(query, result);
        if (controls->AnswersTwice(query.path))
            Answer(query, result);
    }
}

void ScanProxy::Answer(const Query& query, const RC::ScanResult& result)
{
    RC::ScanResultCallback callback;
    void* context;
    {
        std::lock_guard<std::mutex> guard(lock_);
        callback = callback_;
        context = context_;
    }
    if (callback != nullptr)
        callback(context, query.taskId, query.path.c_str(), &result);
}

void ScanProxy::RecordUnread(const std::wstring& path, unsigned long error)
{
    RC::RCNoThrowBoundary("ScanProxy::RecordUnread", [&] {
        std::wstring argument;
        {
            std::lock_guard<std::mutex> guard(lock_);
            argument = engineArgument_;
        }
        UnreadFiles::Record(folder_, argument, path, error);
    });
}

void ScanProxy::RecordPartly(const std::wstring& path, const std::string& shortfall)
{
    RC::RCNoThrowBoundary("ScanProxy::RecordPartly", [&] {
        const std::wstring what = EngineFiles::DecodeText(shortfall);
        RC_LOG(LostWork, L"not fully scanned: %s: %s", path.c_str(), what.c_str());
        std::wstring argument;
        {
            std::lock_guard<std::mutex> guard(lock_);
            argument = engineArgument_;
        }
        UnreadFiles::RecordPartly(folder_, argument, path, what);
    });
}

void ScanProxy::NotifyFile(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0')
        return;
    RC::RCNoThrowBoundary("ScanProxy::NotifyFile", [&] {
        std::wstring argument;
        {
            std::lock_guard<std::mutex> guard(lock_);
            argument = engineArgument_;
        }
        const std::string line =
            Timestamp() + "\t" + EngineFiles::EncodeUtf8(argument) + "\t" + EngineFiles::EncodeUtf8(path) + "\r\n";
        EngineFiles::AppendToFile(EngineFiles::Join(folder_, L"Quentor-forwarded.txt"), line);
    });
}

} // namespace Substitute
