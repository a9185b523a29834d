#pragma once
// Catches what a child process writes with OutputDebugString, through the
// debugger-output protocol (DBWIN) that Wine implements.
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/RCHandles.h"

namespace KivoTest {

constexpr DWORD kHangGuardMs = 60000;

// The receiving end of the debugger-output protocol (DBWIN): the writer
// waits for "buffer ready", fills the shared buffer (process id, then ANSI
// text) and signals "data ready".
class DebugOutputCapture
{
public:
    DebugOutputCapture()
        : bufferReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
          dataReady_(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"))
    {
        if (mapping_)
            view_ = static_cast<const char*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 4096));
    }
    ~DebugOutputCapture()
    {
        if (view_)
            ::UnmapViewOfFile(view_);
    }
    bool Ready() const { return bufferReady_ && dataReady_ && view_; }

    // Everything the process writes until it ends.
    std::vector<std::string> Collect(HANDLE process, DWORD processId)
    {
        std::vector<std::string> lines;
        ::SetEvent(bufferReady_.get());
        const HANDLE handles[2] = {dataReady_.get(), process};  // data first: drain before the exit
        while (::WaitForMultipleObjects(2, handles, FALSE, kHangGuardMs) == WAIT_OBJECT_0) {
            if (*reinterpret_cast<const DWORD*>(view_) == processId)
                lines.emplace_back(view_ + sizeof(DWORD));
            ::SetEvent(bufferReady_.get());
        }
        return lines;
    }

private:
    RC::unique_handle bufferReady_;
    RC::unique_handle dataReady_;
    RC::unique_handle mapping_;
    const char* view_ = nullptr;
};

} // namespace KivoTest
