// A process for tests to look at from outside: it signals the event named by
// its first argument once it runs, then waits (at most a minute, so that a
// failed test cannot leave it behind) for the event named by its second.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE quit = ::OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
    if (!ready || !quit)
        return 3;
    ::SetEvent(ready);
    ::WaitForSingleObject(quit, 60000);
    ::CloseHandle(ready);
    ::CloseHandle(quit);
    return 0;
}
