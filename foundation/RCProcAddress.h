#pragma once

#include <windows.h>

// An export of a loaded module as a function of type F; null when the module
// or the export is missing. GetProcAddress hands out a generic function
// pointer, and going through void* says that the real type is the export's.
template <typename F>
F RCGetProcAddress(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}
