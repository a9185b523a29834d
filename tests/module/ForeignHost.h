#pragma once
/* A host written in C that drives RCTrevox.dll by raw vtable slots, the way
   a host built by another compiler does. */
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

struct ForeignHostReport {
    int countResult, countWithoutOutResult;
    uint32_t count;
    int wrongIndexRefusedUntouched, twoDistinctModulesOneIdText, releasedThroughSlot4;
    int attachResult, oneCallbackForAll;
    wchar_t moduleId[40];
    /* What reached the host, a line each: "+ID" subscribed, "-ID"
       unsubscribed, "ID address1>address2 HEX" posted, HEX being the first
       bytes (at most 6) of the "SafeData" the holder wrote. */
    wchar_t journal[2048];
};

/* Attaches a module, sends it start, a task setup with a record, a
   network-state request and stop, then detaches and releases it. Returns 0
   when every step could be taken; the report says what was seen. */
int RunForeignHost(const wchar_t* dllPath, struct ForeignHostReport* report);

/* Loads the library, attaches its module and starts it; NULL when a step
   fails. */
struct ForeignModule* StartForeignModule(const wchar_t* dllPath);
/* Detaches and releases the module without a stop, then frees the library
   at once, as a host that lets go of it as soon as it may. */
void ReleaseForeignModule(struct ForeignModule* foreign);

#ifdef __cplusplus
}
#endif
