#pragma once
// What a test double was called with, in order, from any thread; a test can
// wait until a call has come.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace KivoTest {

class CallLog {
public:
    void Note(const std::string& call)
    {
        std::lock_guard<std::mutex> guard(lock_);
        calls_.push_back(call);
        changed_.notify_all();
    }
    std::vector<std::string> Calls() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return calls_;
    }
    size_t Count() const { return Calls().size(); }

    // The calls so far joined by ", "; the log starts afresh.
    std::string Take()
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::string joined;
        for (const std::string& call : calls_)
            joined += (joined.empty() ? "" : ", ") + call;
        calls_.clear();
        return joined;
    }

    // Until a call that begins with prefix has been noted.
    void WaitFor(const std::string& prefix)
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [&] {
            return std::any_of(calls_.begin(), calls_.end(),
                               [&](const std::string& call) { return call.compare(0, prefix.size(), prefix) == 0; });
        });
    }

    // Until count calls have been noted since the last Take; false after a
    // minute, so that a hang fails its test.
    bool WaitForCount(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock_);
        return changed_.wait_for(guard, std::chrono::seconds(60), [&] { return calls_.size() >= count; });
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
};

} // namespace KivoTest
