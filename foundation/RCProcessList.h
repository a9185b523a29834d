#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RCProcessEntry {
    std::wstring name; // executable file name, long form
    DWORD processId = 0;
    DWORD parentProcessId = 0;
    std::wstring imagePath; // set only when a short (8.3) name was lengthened
};

// The running processes (without the idle process), as a snapshot.
class RCProcessList : public std::vector<RCProcessEntry> {
public:
    // Clears the list and fills it again; false when the snapshot cannot be
    // taken. A failure part-way keeps what was read before it.
    bool Refresh();
};
