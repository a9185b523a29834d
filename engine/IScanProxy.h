#pragma once
// Object 0x2001 of Quentor.dll: asynchronous file queries. Slot order and
// calling convention are the engine's (MSVC x86, __thiscall); GCC would add two
// destructor slots for a virtual destructor, so there is none: objects are
// freed through "DestroyObj".

#include <cstdint>

#include "engine/IEngineAssist.h"
#include "engine/ScanResult.h"

namespace RC {

class IScanProxy {
public:
    virtual void __thiscall Init(const wchar_t* engineArgument) = 0; // 0
    virtual void __thiscall UnInit() = 0;                            // 1
    virtual void __thiscall SetAssist(IEngineAssist* assist) = 0;    // 2
    virtual void __thiscall Start() = 0;                             // 3
    virtual void __thiscall Stop() = 0;                              // 4
    // true: accepted, the answer arrives later through the result callback.
    virtual bool __thiscall AddQuery(std::uint32_t taskId, const wchar_t* path) = 0;           // 5
    virtual void __thiscall EndOfQueries() = 0;                                                // 6
    virtual void __thiscall SetResultCallback(void* context, ScanResultCallback callback) = 0; // 7
    virtual void __thiscall NotifyFile(const wchar_t* path) = 0;                               // 8

protected:
    ~IScanProxy() = default;
};

} // namespace RC
