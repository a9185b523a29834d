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
        : m_bufferReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
          m_dataReady(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          m_mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER"))
    {
        if (m_mapping)
            m_view = static_cast<const char*>(::MapViewOfFile(m_mapping.get(), FILE_MAP_READ, 0, 0, 4096));
    }
    ~DebugOutputCapture()
    {
        if (m_view)
            ::UnmapViewOfFile(m_view);
    }
    bool Ready() const { return m_bufferReady && m_dataReady && m_view; }

    // Everything the process writes until it ends.
    std::vector<std::string> Collect(HANDLE process, DWORD processId)
    {
        std::vector<std::string> lines;
        ::SetEvent(m_bufferReady.get());
        const HANDLE handles[2] = {m_dataReady.get(), process};  // data first: drain before the exit
        while (::WaitForMultipleObjects(2, handles, FALSE, kHangGuardMs) == WAIT_OBJECT_0) {
            if (*reinterpret_cast<const DWORD*>(m_view) == processId)
                lines.emplace_back(m_view + sizeof(DWORD));
            ::SetEvent(m_bufferReady.get());
        }
        return lines;
    }

private:
    RC::unique_handle m_bufferReady;
    RC::unique_handle m_dataReady;
    RC::unique_handle m_mapping;
    const char* m_view = nullptr;
};

} // namespace KivoTest
