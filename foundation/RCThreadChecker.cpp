#include "foundation/RCThreadChecker.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "foundation/RCDebugger.h"
#include "foundation/RCTextConvert.h"

namespace RC {

void RCThreadChecker::Bind()
{
    owner_ = GetCurrentThreadId();
}

bool RCThreadChecker::IsCurrent() const
{
    return owner_ == GetCurrentThreadId();
}

RCSequenceChecker::Scope::Scope(RCSequenceChecker& checker, const char* file, int line)
    : checker_(checker), previous_(checker.owner_.exchange(GetCurrentThreadId()))
{
    if (previous_ != 0 && previous_ != GetCurrentThreadId())
        RCThreadCheckFailed(file, line);
}

RCSequenceChecker::Scope::~Scope()
{
    checker_.owner_ = previous_;
}

void RCThreadCheckFailed(const char* file, int line) noexcept
{
    // Only the first failure is logged: a call on the wrong thread tends to
    // come again with every file.
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) {
        try {
            const std::wstring place = RCAnsiToWide(file);
            RC_LOG(Failure, L"thread check failed at %s:%d on thread %x", place.c_str(), line,
                   static_cast<unsigned>(GetCurrentThreadId()));
        } catch (...) {
        }
    }
    // The suite's programs end there, so that the test that drove the wrong
    // thread fails at that spot. A host's process must not die of a check.
    if (::GetEnvironmentVariableW(L"KIVO_THREAD_CHECKS_FATAL", nullptr, 0) != 0)
        std::abort();
}

} // namespace RC
