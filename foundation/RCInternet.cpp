#include "foundation/RCInternet.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCProcAddress.h"
#include "foundation/RCSingletonLock.h"

namespace {

constexpr DWORD kForceConnection = 1; // FLAG_ICC_FORCE_CONNECTION

// Keeps wininet loaded once it has loaded; a failed load is tried again on
// the next query.
class RCWininetHolder {
public:
    HMODULE Get()
    {
        RCAutoLock guard(lock_);
        if (!module_)
            module_ = ::LoadLibraryW(L"wininet.dll");
        return module_;
    }

    template <typename F>
    F Function(const char* name)
    {
        return RCGetProcAddress<F>(Get(), name);
    }

private:
    RCCriticalSection lock_;
    HMODULE module_ = nullptr;
};

RCWininetHolder& Wininet()
{
    return RCSingletonLock::Instance<RCWininetHolder>();
}

} // namespace

int RCInternetCheckConnection(const std::wstring& url)
{
    using CheckFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD);
    auto check = Wininet().Function<CheckFn>("InternetCheckConnectionW");
    return check ? check(url.c_str(), kForceConnection, 0) : 0;
}

int RCInternetGetConnectedState(DWORD* flags)
{
    using StateFn = BOOL(WINAPI*)(LPDWORD, DWORD);
    auto state = Wininet().Function<StateFn>("InternetGetConnectedState");
    return state ? state(flags, 0) : 0;
}
