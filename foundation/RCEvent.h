#pragma once

#include "foundation/RCHandles.h"
#include "foundation/RCNonCopyable.h"

#include <windows.h>

#include <string>

namespace RC {

// A Win32 event with its name. Constructing one creates it; Open replaces it
// by an existing named event. Every wait answers false when there is no
// handle, so a failed creation makes waits fail instead of block.
class RCEvent : private RCNonCopyable {
public:
    explicit RCEvent(bool manualReset = true, const std::wstring& name = std::wstring());

    [[nodiscard]] bool Create(const std::wstring& name, bool manualReset);
    // With world-access security, so that other accounts can open it by name.
    [[nodiscard]] bool CreateWithSecurity(const std::wstring& name, bool manualReset, bool initialState);
    [[nodiscard]] bool Open(const std::wstring& name);

    void Set();
    void Reset();
    bool Wait(DWORD milliseconds);
    bool Wait(DWORD milliseconds, bool& timedOut);
    bool Wait();
    void Close();

    HANDLE GetHandle() const { return handle_.get(); }
    bool AlreadyExisted() const { return alreadyExisted_; }
    const std::wstring& GetName() const { return name_; }

private:
    bool CreateNamed(const std::wstring& name, bool manualReset, bool initialState, SECURITY_ATTRIBUTES* security);

    unique_handle handle_;
    bool alreadyExisted_ = false;
    std::wstring name_;
};

} // namespace RC
