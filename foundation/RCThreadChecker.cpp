#include "foundation/RCThreadChecker.h"

#include <windows.h>

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
    try {
        const std::wstring place = RCAnsiToWide(file);
        RC_LOG(Failure, L"thread check failed at %s:%d on thread %x", place.c_str(), line,
               static_cast<unsigned>(GetCurrentThreadId()));
    } catch (...) {
    }
    std::abort();
}

} // namespace RC
