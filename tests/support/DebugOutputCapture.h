#pragma once
// Catches what a child process writes with OutputDebugString, through the
// debugger-output protocol (DBWIN) that Wine implements, and handles the log
// configuration and log files of the prefix. The configuration is shared by
// every process of the prefix, so the programs that use these run alone.
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/RCFileSystem.h"
#include "foundation/RCHandles.h"

namespace KivoTest {

constexpr DWORD kHangGuardMs = 60000;

// The receiving end of the debugger-output protocol (DBWIN): the writer
// waits for "buffer ready", fills the shared buffer (process id, then ANSI
// text) and signals "data ready".
class DebugOutputCapture {
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

    // Runs the program beside the test to its end; its lines, and its id in
    // processId (0 when it could not run).
    std::vector<std::string> Run(const std::wstring& program, DWORD& processId)
    {
        processId = 0;
        std::wstring command = L"\"" + RCGetExeFolder() + program + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!bufferReady_ || !dataReady_ || !view_ ||
            !::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                              &startup, &info))
            return {};
        const RC::unique_handle process(info.hProcess), thread(info.hThread);
        std::vector<std::string> lines;
        ::SetEvent(bufferReady_.get());
        const HANDLE handles[2] = {dataReady_.get(), process.get()}; // data first: drain before the exit
        while (::WaitForMultipleObjects(2, handles, FALSE, kHangGuardMs) == WAIT_OBJECT_0) {
            if (*reinterpret_cast<const DWORD*>(view_) == info.dwProcessId)
                lines.emplace_back(view_ + sizeof(DWORD));
            ::SetEvent(bufferReady_.get());
        }
        if (::WaitForSingleObject(process.get(), kHangGuardMs) == WAIT_OBJECT_0)
            processId = info.dwProcessId;
        return lines;
    }

private:
    RC::unique_handle bufferReady_, dataReady_, mapping_;
    const char* view_ = nullptr;
};

inline const std::wstring kLogRoot = L"c:\\KivoTrevox\\";
inline const std::wstring kLogConfig = kLogRoot + L"KivoLog.xml";

inline bool WriteLogConfig(const std::string& xml)
{
    RC::unique_hfile file(::CreateFileW(kLogConfig.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), xml.data(), static_cast<DWORD>(xml.size()), &written, nullptr) &&
           written == xml.size();
}

// The names of the log files the process named exe wrote, and with
// content the whole of the first.
inline std::vector<std::wstring> ProcessLogs(const std::wstring& exe, std::string* content = nullptr)
{
    const std::wstring folder = kLogRoot + L"Log\\" + exe + L"\\";
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    RC::unique_hfind find(::FindFirstFileW((folder + L"*.log").c_str(), &entry));
    for (BOOL more = find.is_valid(); more; more = ::FindNextFileW(find.get(), &entry))
        names.push_back(entry.cFileName);
    if (content != nullptr && !names.empty()) {
        RC::unique_hfile file(::CreateFileW((folder + names[0]).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        content->assign(64 * 1024, '\0');
        DWORD read = 0;
        if (!file || !::ReadFile(file.get(), &(*content)[0], static_cast<DWORD>(content->size()), &read, nullptr))
            read = 0;
        content->resize(read);
    }
    return names;
}

// Removes the configuration and the log files and folders of the process named exe.
inline void RemoveLogs(const std::wstring& exe)
{
    ::DeleteFileW(kLogConfig.c_str());
    const std::wstring folder = kLogRoot + L"Log\\" + exe;
    for (const std::wstring& name : ProcessLogs(exe))
        ::DeleteFileW((folder + L"\\" + name).c_str());
    ::RemoveDirectoryW(folder.c_str());
    ::RemoveDirectoryW((kLogRoot + L"Log").c_str());
}

} // namespace KivoTest
