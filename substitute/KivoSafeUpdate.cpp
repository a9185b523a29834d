// Stands in for the suite's updater: started by the update relay, it shows
// its presence through the updater's named event, writes the command line it
// was started with to KivoSafeUpdate-started.txt beside itself (tests read
// it to see the launch), and exits a few seconds later, holding the event
// while it lives as the real updater would.
#include <windows.h>

#include <string>

#include "foundation/RCHandles.h"

namespace {

constexpr const wchar_t* kPresenceEvent = L"C58FE465-6C5E-4D88-B632-F9F37D7A63C5";
constexpr DWORD kLifetimeMs = 3000;

std::wstring OwnFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

void WriteStartedWith(const std::wstring& commandLine)
{
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, commandLine.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, commandLine.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    // Written under a temporary name and moved: a reader never sees half of it.
    const std::wstring target = OwnFolder() + L"KivoSafeUpdate-started.txt";
    const std::wstring partial = target + L".part";
    {
        RC::unique_hfile file(
            ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        DWORD written = 0;
        ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    ::MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // Opens the relay's event, or creates it when started by hand.
    RC::unique_handle presence(::CreateEventW(nullptr, TRUE, FALSE, kPresenceEvent));
    if (presence)
        ::SetEvent(presence.get());
    WriteStartedWith(::GetCommandLineW());
    ::Sleep(kLifetimeMs);
    return 0;
}
