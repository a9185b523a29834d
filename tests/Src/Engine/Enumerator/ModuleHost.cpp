// A process that holds a library loaded by the path given as its third
// argument: it signals the event named by its first argument once the library
// is in, then waits (at most a minute, so that a failed test cannot leave it
// behind) for the event named by its second.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    HANDLE quit = ::OpenEventW(SYNCHRONIZE, FALSE, argv[2]);
    if (!ready || !quit || !::LoadLibraryW(argv[3]))
        return 3;
    ::SetEvent(ready);
    ::WaitForSingleObject(quit, 60000);
    return 0;
}
