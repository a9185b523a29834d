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
};

struct CMessage {
    void** vtable;
    const wchar_t* id;
    const wchar_t* address1;
    const wchar_t* address2;
    struct ForeignHostReport* report; /* where SetBinary lands */
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

static void __thiscall HostPost(struct CHost* self, const wchar_t* id, void* holder, const wchar_t* address2,
                                const wchar_t* address1)
{
    struct ForeignHostReport* r = self->report;
    struct CMessage capture = {g_messageVtable, id, address1, address2, r};
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
    (void)self;
    (void)key;
    return 0xFFFFFFFFu; /* no values: requests here carry none */
}

static char __thiscall MessageGetBinary(struct CMessage* self, const wchar_t* key, void* buffer, uint32_t size)
{
    (void)self;
    (void)key;
    (void)buffer;
    (void)size;
    return 0;
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
    r->attachResult = ((AttachFn)SLOT(module, 0))(module, &host, L"");
    CopyId(r->moduleId, ((GetModuleIdFn)SLOT(module, 2))(module));
    ((ReservedFn)SLOT(module, 3))(module, 1, 2);
    if (host.callback == NULL)
        return 4;

    start = (struct CMessage){g_messageVtable, L"6775DCDE-47CE-4236-B0FA-92FFD3F1C9E8", NULL, NULL, r};
    netState = (struct CMessage){g_messageVtable, L"52481B5F-E99D-4232-8924-74BCF21C28EF", L"c-peer", L"c-peer-2", r};
    stop = (struct CMessage){g_messageVtable, L"D2C3581F-4520-4068-AEDB-628BC247195B", NULL, NULL, r};
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
