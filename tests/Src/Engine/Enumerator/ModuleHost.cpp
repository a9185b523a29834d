// Holds the library named by its second argument loaded, signals the event
// named by its first, and waits to be ended (at most a minute, so that a
// failed test cannot leave it behind).
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    HANDLE ready = argc == 3 ? ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]) : nullptr;
    if (!ready || !::LoadLibraryW(argv[2]))
        return 3;
    ::SetEvent(ready);
    ::Sleep(60000);
    return 0;
}
