#pragma once
/* A host written in C that drives RCTrevox.dll by raw vtable slots, the way
   a host built by another compiler does. */
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FOREIGN_MAX_IDS 16
#define FOREIGN_ID_LEN 40

struct ForeignHostReport {
    int loaded;
    int countResult;
    uint32_t count;
    int queryWrongIndexResult;
    int queryWrongIndexLeftPointer;
    int attachResult;
    int subscribedCount;
    wchar_t subscribed[FOREIGN_MAX_IDS][FOREIGN_ID_LEN];
    int oneCallbackForAll;
    wchar_t moduleId[FOREIGN_ID_LEN];
    int postedCount;
    wchar_t postedId[FOREIGN_ID_LEN];
    int postedAddress1IsNull;
    wchar_t postedAddress1[FOREIGN_ID_LEN];
    wchar_t postedAddress2[FOREIGN_ID_LEN];
    uint32_t postedDataSize;
    uint8_t postedData[16];
    int unsubscribedCount;
    wchar_t unsubscribed[FOREIGN_MAX_IDS][FOREIGN_ID_LEN];
    int releasedThroughSlot4;
};

/* Returns 0 when every step could be taken; the report says what was seen. */
int RunForeignHost(const wchar_t* dllPath, struct ForeignHostReport* report);

struct ForeignScanReport {
    int setupDone;     /* EVT_TASK_SETUP_DONE posts */
    int commandResult; /* the result byte of the start command's reply */
    int threats;       /* EVT_THREAT_FOUND posts */
    uint32_t threatId; /* the query id of the last threat reported */
    uint32_t operateOutcome; /* of the last EVT_OPERATE_ITEM: 2 succeeded, 1 failed */
    int stateCount;
    uint32_t states[8];
};

/* Sets up a custom scan of folder, starts it, waits for its end state, then
   quarantines the last threat it reported; 0 when both ended. */
int RunForeignScan(const wchar_t* dllPath, const wchar_t* folder, struct ForeignScanReport* report);

#ifdef __cplusplus
}
#endif
