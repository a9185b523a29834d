#include "foundation/RCOleInit.h"

#include "foundation/RCModuleCache.h"

#include <windows.h>

namespace {
using OleInitializeFn = HRESULT(WINAPI*)(LPVOID);
using OleUninitializeFn = void(WINAPI*)();
} // namespace

RCOleInit::RCOleInit()
{
    auto initialize = RCModuleCache::GetProc<OleInitializeFn>(L"Ole32.dll", "OleInitialize");
    initialized_ = initialize && SUCCEEDED(initialize(nullptr));
}

RCOleInit::~RCOleInit()
{
    // Every successful OleInitialize, S_FALSE included, needs its matching call.
    if (!initialized_)
        return;
    auto uninitialize = RCModuleCache::GetProc<OleUninitializeFn>(L"Ole32.dll", "OleUninitialize");
    if (uninitialize)
        uninitialize();
}
