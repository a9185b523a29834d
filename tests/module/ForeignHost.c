#include "ForeignHost.h"

#include <string.h>
#include <windows.h>

typedef void(__cdecl* Callback)(void* module, void* message);

/* Module slots, as an MSVC x86 host declares them. */
typedef int32_t(__thiscall* AttachFn)(void* self, void* host, const wchar_t* text);
typedef void(__thiscall* DetachFn)(void* self);
typedef const wchar_t*(__thiscall* GetModuleIdFn)(void* self);
typedef void(__thiscall* ReservedFn)(void* self, uint32_t a, uint32_t b);
typedef void*(__thiscall* DestructorFn)(void* self, unsigned flags);
typedef void(__thiscall* WriteToFn)(void* self, void* message);

typedef char(__cdecl* GetModuleCountFn)(uint32_t* count);
typedef char(__cdecl* QueryModuleFn)(uint32_t index, void** module);
typedef void(__cdecl* ReleaseModuleFn)(uint32_t index, void* module);

#define SLOT(object, index) ((*(void***)(object))[index])

struct CHost {
    void** vtable;
    struct ForeignHostReport* report;
    Callback callback;
    struct ForeignScanReport* scan; /* when set, posts come from a scan's threads */
    CRITICAL_SECTION lock;
    HANDLE ended;
    HANDLE operated;
};

struct CMessage {
    void** vtable;
    const wchar_t* id;
    const wchar_t* address1;
    const wchar_t* address2;
    struct ForeignHostReport* report; /* where SetBinary lands */
    const uint8_t* data;              /* "SafeData" of a request, or none */
    uint32_t size;
};

static void CopyId(wchar_t* target, const wchar_t* source)
{
    if (source == NULL) {
        target[0] = 0;
        return;
    }
    wcsncpy(target, source, FOREIGN_ID_LEN - 1);
    target[FOREIGN_ID_LEN - 1] = 0;
}

static void __thiscall HostUnused(struct CHost* self) { (void)self; }

static void __thiscall HostSubscribe(struct CHost* self, const wchar_t* id, Callback callback)
{
    struct ForeignHostReport* r = self->report;
    if (r->subscribedCount < FOREIGN_MAX_IDS)
        CopyId(r->subscribed[r->subscribedCount], id);
    r->subscribedCount++;
    if (self->callback != NULL && self->callback != callback)
        r->oneCallbackForAll = 0;
    self->callback = callback;
}

static void __thiscall HostUnsubscribe(struct CHost* self, const wchar_t* id)
{
    struct ForeignHostReport* r = self->report;
    if (r->unsubscribedCount < FOREIGN_MAX_IDS)
        CopyId(r->unsubscribed[r->unsubscribedCount], id);
    r->unsubscribedCount++;
}

static void* g_messageVtable[14];

static uint32_t GetU32(const uint8_t* at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | (uint32_t)at[3] << 24;
}

/* A task's events: TaskId "C" (6 bytes), then the state, the command, the
   threat's query id, the operation's phase or the operated threat's id. */
static void RecordScanPost(struct CHost* self, const wchar_t* id, const uint8_t* data)
{
    struct ForeignScanReport* s = self->scan;
    uint32_t state = GetU32(data + 6);
    EnterCriticalSection(&self->lock);
    if (wcscmp(id, L"20BF340A-86FF-4DDC-B443-7D976E75AA66") == 0)
        s->setupDone++;
    else if (wcscmp(id, L"3D2CA24D-A354-4421-8AE3-35C2FAC7CF8A") == 0)
        s->commandResult = data[10];
    else if (wcscmp(id, L"BFC480F4-D36B-495A-B65F-1ABA8EEEAE37") == 0) {
        s->threats++;
        s->threatId = state;
    } else if (wcscmp(id, L"D26E03C8-F4D0-465F-94E1-8BC5A3290F79") == 0)
        s->operateOutcome = GetU32(data + 10);
    else if (wcscmp(id, L"DA30378E-4037-4644-9980-63CD622FD7E2") == 0 && state == 4)
        SetEvent(self->operated);
    else if (wcscmp(id, L"2F382E89-A1AE-4797-84FC-215CDE15257D") == 0) {
        if (s->stateCount < 8)
            s->states[s->stateCount] = state;
        s->stateCount++;
        if (state == 4)
            SetEvent(self->ended);
    }
    LeaveCriticalSection(&self->lock);
}

static void __thiscall HostPost(struct CHost* self, const wchar_t* id, void* holder, const wchar_t* address2,
                                const wchar_t* address1)
{
    struct ForeignHostReport* r = self->report;
    struct CMessage capture = {g_messageVtable, id, address1, address2, r, NULL, 0};
    if (self->scan != NULL) {
        struct ForeignHostReport local;
        memset(&local, 0, sizeof local);
        capture.report = &local;
        if (holder != NULL)
            ((WriteToFn)SLOT(holder, 0))(holder, &capture);
        RecordScanPost(self, id, local.postedData);
        return;
    }
    r->postedCount++;
    CopyId(r->postedId, id);
    r->postedAddress1IsNull = address1 == NULL;
    CopyId(r->postedAddress1, address1);
    CopyId(r->postedAddress2, address2);
    if (holder != NULL)
        ((WriteToFn)SLOT(holder, 0))(holder, &capture);
}

static void* g_hostVtable[8] = {
    (void*)HostUnused, (void*)HostUnused, (void*)HostUnused, (void*)HostUnused,
    (void*)HostUnused, (void*)HostSubscribe, (void*)HostUnsubscribe, (void*)HostPost,
};

static void __thiscall MessageUnused(struct CMessage* self) { (void)self; }
static const wchar_t* __thiscall MessageId(struct CMessage* self) { return self->id; }
static const wchar_t* __thiscall MessageAddress1(struct CMessage* self) { return self->address1; }
static const wchar_t* __thiscall MessageAddress2(struct CMessage* self) { return self->address2; }

static void __thiscall MessageSetBinary(struct CMessage* self, const wchar_t* key, const void* data, uint32_t size)
{
    if (wcscmp(key, L"SafeData") != 0)
        return;
    self->report->postedDataSize = size;
    memcpy(self->report->postedData, data, size < 16 ? size : 16);
}

static uint32_t __thiscall MessageGetBinarySize(struct CMessage* self, const wchar_t* key)
{
    return self->data != NULL && wcscmp(key, L"SafeData") == 0 ? self->size : 0xFFFFFFFFu;
}

static char __thiscall MessageGetBinary(struct CMessage* self, const wchar_t* key, void* buffer, uint32_t size)
{
    if (self->data == NULL || wcscmp(key, L"SafeData") != 0 || size != self->size)
        return 0;
    memcpy(buffer, self->data, size);
    return 1;
}

static void __thiscall MessageSetString(struct CMessage* self, const wchar_t* key, const wchar_t* value)
{
    (void)self;
    (void)key;
    (void)value;
}

static void InitMessageVtable(void)
{
    int i;
    for (i = 0; i < 14; ++i)
        g_messageVtable[i] = (void*)MessageUnused;
    g_messageVtable[3] = (void*)MessageId;
    g_messageVtable[5] = (void*)MessageAddress2;
    g_messageVtable[7] = (void*)MessageAddress1;
    g_messageVtable[10] = (void*)MessageSetBinary;
    g_messageVtable[11] = (void*)MessageGetBinarySize;
    g_messageVtable[12] = (void*)MessageGetBinary;
    g_messageVtable[13] = (void*)MessageSetString;
}

int RunForeignHost(const wchar_t* dllPath, struct ForeignHostReport* r)
{
    HMODULE dll;
    GetModuleCountFn getCount;
    QueryModuleFn query;
    ReleaseModuleFn release;
    void* module = NULL;
    void* other = (void*)0x1234;
    struct CHost host;
    struct CMessage start, netState, stop;

    memset(r, 0, sizeof *r);
    r->oneCallbackForAll = 1;
    InitMessageVtable();

    dll = LoadLibraryW(dllPath);
    if (dll == NULL)
        return 1;
    r->loaded = 1;
    getCount = (GetModuleCountFn)(void*)GetProcAddress(dll, "RCVBusGetModuleCount");
    query = (QueryModuleFn)(void*)GetProcAddress(dll, "RCVBusQueryModule");
    release = (ReleaseModuleFn)(void*)GetProcAddress(dll, "RCVBusReleaseModule");
    if (getCount == NULL || query == NULL || release == NULL)
        return 2;

    r->countResult = getCount(&r->count);
    r->queryWrongIndexResult = query(1, &other);
    r->queryWrongIndexLeftPointer = other == (void*)0x1234;
    if (!query(0, &module) || module == NULL)
        return 3;

    host.vtable = g_hostVtable;
    host.report = r;
    host.callback = NULL;
    host.scan = NULL;
    r->attachResult = ((AttachFn)SLOT(module, 0))(module, &host, L"");
    CopyId(r->moduleId, ((GetModuleIdFn)SLOT(module, 2))(module));
    ((ReservedFn)SLOT(module, 3))(module, 1, 2);
    if (host.callback == NULL)
        return 4;

    start = (struct CMessage){g_messageVtable, L"6775DCDE-47CE-4236-B0FA-92FFD3F1C9E8", NULL, NULL, r, NULL, 0};
    netState = (struct CMessage){g_messageVtable, L"52481B5F-E99D-4232-8924-74BCF21C28EF", L"c-peer", L"c-peer-2", r,
                                 NULL, 0};
    stop = (struct CMessage){g_messageVtable, L"D2C3581F-4520-4068-AEDB-628BC247195B", NULL, NULL, r, NULL, 0};
    host.callback(module, &start);
    host.callback(module, &netState);
    host.callback(module, &stop);

    ((DetachFn)SLOT(module, 1))(module);
    release(0, module);

    /* A second module released by calling its destructor slot directly. */
    if (query(0, &module) && module != NULL) {
        r->releasedThroughSlot4 = ((DestructorFn)SLOT(module, 4))(module, 1) == module;
    }
    FreeLibrary(dll);
    return 0;
}

static uint32_t PutU32(uint8_t* at, uint32_t value)
{
    at[0] = (uint8_t)value;
    at[1] = (uint8_t)(value >> 8);
    at[2] = (uint8_t)(value >> 16);
    at[3] = (uint8_t)(value >> 24);
    return 4;
}

static uint32_t PutText(uint8_t* at, const wchar_t* text)
{
    uint32_t units = (uint32_t)wcslen(text), i;
    PutU32(at, units);
    for (i = 0; i < units; ++i) {
        at[4 + 2 * i] = (uint8_t)text[i];
        at[5 + 2 * i] = (uint8_t)(text[i] >> 8);
    }
    return 4 + 2 * units;
}

int RunForeignScan(const wchar_t* dllPath, const wchar_t* folder, struct ForeignScanReport* s)
{
    static uint8_t setupData[2048], commandData[16], operateData[32];
    uint32_t setupSize, commandSize, operateSize;
    struct ForeignHostReport subscriptions;
    struct CHost host;
    struct CMessage start, setup, command, operate, stop;
    QueryModuleFn query;
    ReleaseModuleFn release;
    void* module = NULL;
    HMODULE dll;
    int ended;

    memset(s, 0, sizeof *s);
    memset(&subscriptions, 0, sizeof subscriptions);
    if (wcslen(folder) > 900 || (dll = LoadLibraryW(dllPath)) == NULL)
        return 1;
    query = (QueryModuleFn)(void*)GetProcAddress(dll, "RCVBusQueryModule");
    release = (ReleaseModuleFn)(void*)GetProcAddress(dll, "RCVBusReleaseModule");
    if (query == NULL || release == NULL || !query(0, &module) || module == NULL)
        return 2;
    InitMessageVtable();
    host.vtable = g_hostVtable;
    host.report = &subscriptions;
    host.callback = NULL;
    host.scan = s;
    InitializeCriticalSection(&host.lock);
    host.ended = CreateEventW(NULL, TRUE, FALSE, NULL);
    host.operated = CreateEventW(NULL, TRUE, FALSE, NULL);
    ((AttachFn)SLOT(module, 0))(module, &host, L"");

    /* A custom scan (type 3) of one folder under the TaskId "C", then start. */
    setupSize = PutText(setupData, L"C");
    setupSize += PutU32(setupData + setupSize, 3);
    setupSize += PutU32(setupData + setupSize, 1);
    setupSize += PutText(setupData + setupSize, folder);
    commandSize = PutText(commandData, L"C");
    commandSize += PutU32(commandData + commandSize, 0);
    start = (struct CMessage){g_messageVtable, L"6775DCDE-47CE-4236-B0FA-92FFD3F1C9E8", NULL, NULL, NULL, NULL, 0};
    setup = (struct CMessage){g_messageVtable, L"73CCA711-E25A-4D89-B523-AC3828930D58", L"c", L"c", NULL,
                              setupData, setupSize};
    command = (struct CMessage){g_messageVtable, L"2E67B984-D068-44E5-8A58-A8AA7B307C4A", L"c", L"c", NULL,
                                commandData, commandSize};
    stop = (struct CMessage){g_messageVtable, L"D2C3581F-4520-4068-AEDB-628BC247195B", NULL, NULL, NULL, NULL, 0};
    host.callback(module, &start);
    host.callback(module, &setup);
    host.callback(module, &command);
    ended = WaitForSingleObject(host.ended, 90000) == WAIT_OBJECT_0;

    /* Then quarantine (operation 1) the threat it reported. */
    operateSize = PutText(operateData, L"C");
    operateSize += PutU32(operateData + operateSize, 1);
    operateSize += PutU32(operateData + operateSize, 1);
    operateSize += PutU32(operateData + operateSize, s->threatId);
    operate = (struct CMessage){g_messageVtable, L"B9FC5801-F592-4CA8-B3B5-0AC7A842F218", L"c", L"c", NULL,
                                operateData, operateSize};
    if (ended) {
        host.callback(module, &operate);
        ended = WaitForSingleObject(host.operated, 90000) == WAIT_OBJECT_0;
    }
    host.callback(module, &stop); /* joins the scan's threads: nothing posts after this */

    ((DetachFn)SLOT(module, 1))(module);
    release(0, module);
    CloseHandle(host.ended);
    CloseHandle(host.operated);
    DeleteCriticalSection(&host.lock);
    FreeLibrary(dll);
    return ended ? 0 : 3;
}
