#include "ForeignHost.h"

#include <stdlib.h>
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
    const wchar_t *id, *address1, *address2;
    struct ForeignHostReport* report; /* where SetBinary lands */
    const uint8_t* data;              /* "SafeData" of a request, or none */
    uint32_t size;
};

static void Note(struct ForeignHostReport* r, const wchar_t* a, const wchar_t* b, const wchar_t* c)
{
    const wchar_t* parts[3] = {a, b, c};
    int i;
    for (i = 0; i < 3; ++i) {
        if (parts[i] != NULL && wcslen(r->journal) + wcslen(parts[i]) < 2047)
            wcscat(r->journal, parts[i]);
    }
}

// clang-format off
static void __thiscall HostUnused(struct CHost* self) { (void)self; }

static void __thiscall HostSubscribe(struct CHost* self, const wchar_t* id, Callback callback)
{
    Note(self->report, L"+", id, L"\n");
    if (self->callback != NULL && self->callback != callback)
        self->report->oneCallbackForAll = 0;
    self->callback = callback;
}

static void __thiscall HostUnsubscribe(struct CHost* self, const wchar_t* id) { Note(self->report, L"-", id, L"\n"); }

static void __thiscall MessageUnused(struct CMessage* self) { (void)self; }
static const wchar_t* __thiscall MessageId(struct CMessage* self) { return self->id; }
static const wchar_t* __thiscall MessageAddress1(struct CMessage* self) { return self->address1; }
static const wchar_t* __thiscall MessageAddress2(struct CMessage* self) { return self->address2; }
// clang-format on

static void __thiscall MessageSetBinary(struct CMessage* self, const wchar_t* key, const void* data, uint32_t size)
{
    wchar_t hex[16] = L" ";
    uint32_t i;
    if (wcscmp(key, L"SafeData") != 0)
        return;
    for (i = 0; i < size && i < 6; ++i) {
        hex[1 + 2 * i] = L"0123456789abcdef"[((const uint8_t*)data)[i] >> 4];
        hex[2 + 2 * i] = L"0123456789abcdef"[((const uint8_t*)data)[i] & 15];
    }
    Note(self->report, hex, NULL, NULL);
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

static void* g_messageVtable[14] = {
    (void*)MessageUnused,    (void*)MessageUnused,   (void*)MessageUnused,    (void*)MessageId,
    (void*)MessageUnused,    (void*)MessageAddress2, (void*)MessageUnused,    (void*)MessageAddress1,
    (void*)MessageUnused,    (void*)MessageUnused,   (void*)MessageSetBinary, (void*)MessageGetBinarySize,
    (void*)MessageGetBinary, (void*)MessageUnused,
};

static void __thiscall HostPost(struct CHost* self, const wchar_t* id, void* holder, const wchar_t* address2,
                                const wchar_t* address1)
{
    struct CMessage capture = {g_messageVtable, id, address1, address2, self->report, NULL, 0};
    Note(self->report, id, L" ", address1);
    Note(self->report, L">", address2, NULL);
    if (holder != NULL)
        ((WriteToFn)SLOT(holder, 0))(holder, &capture);
    Note(self->report, L"\n", NULL, NULL);
}

static void* g_hostVtable[8] = {
    (void*)HostUnused, (void*)HostUnused,    (void*)HostUnused,      (void*)HostUnused,
    (void*)HostUnused, (void*)HostSubscribe, (void*)HostUnsubscribe, (void*)HostPost,
};

int RunForeignHost(const wchar_t* dllPath, struct ForeignHostReport* r)
{
    /* A custom scan (type 3) of one folder, C:\, under the TaskId "C". */
    static const uint8_t setupData[] = {1, 0, 0, 0, 'C', 0, 3,   0, 0,   0, 1,    0,
                                        0, 0, 3, 0, 0,   0, 'C', 0, ':', 0, '\\', 0};
    HMODULE dll;
    GetModuleCountFn getCount;
    QueryModuleFn query;
    ReleaseModuleFn release;
    void *module = NULL, *second = NULL, *other = (void*)0x1234;
    struct CHost host = {g_hostVtable, r, NULL};
    struct CMessage start, setup, netState, stop;

    memset(r, 0, sizeof *r);
    r->oneCallbackForAll = 1;
    if ((dll = LoadLibraryW(dllPath)) == NULL)
        return 1;
    getCount = (GetModuleCountFn)(void*)GetProcAddress(dll, "RCVBusGetModuleCount");
    query = (QueryModuleFn)(void*)GetProcAddress(dll, "RCVBusQueryModule");
    release = (ReleaseModuleFn)(void*)GetProcAddress(dll, "RCVBusReleaseModule");
    if (getCount == NULL || query == NULL || release == NULL)
        return 2;

    r->countWithoutOutResult = getCount(NULL);
    r->countResult = getCount(&r->count);
    r->wrongIndexRefusedUntouched = !query(1, &other) && other == (void*)0x1234;
    if (!query(0, &module) || module == NULL || !query(0, &second) || second == NULL)
        return 3;
    /* One static text for every module. */
    r->twoDistinctModulesOneIdText =
        module != second && ((GetModuleIdFn)SLOT(module, 2))(module) == ((GetModuleIdFn)SLOT(second, 2))(second);
    r->releasedThroughSlot4 = ((DestructorFn)SLOT(second, 4))(second, 1) == second;

    r->attachResult = ((AttachFn)SLOT(module, 0))(module, &host, L"");
    wcsncpy(r->moduleId, ((GetModuleIdFn)SLOT(module, 2))(module), 39);
    ((ReservedFn)SLOT(module, 3))(module, 1, 2);
    if (host.callback == NULL)
        return 4;

    start = (struct CMessage){g_messageVtable, L"6775DCDE-47CE-4236-B0FA-92FFD3F1C9E8", NULL, NULL, NULL, NULL, 0};
    setup = (struct CMessage){g_messageVtable, L"73CCA711-E25A-4D89-B523-AC3828930D58", L"c1", L"c2", NULL, setupData,
                              sizeof setupData};
    netState = (struct CMessage){
        g_messageVtable, L"52481B5F-E99D-4232-8924-74BCF21C28EF", L"c-peer", L"c-peer-2", NULL, NULL, 0};
    stop = (struct CMessage){g_messageVtable, L"D2C3581F-4520-4068-AEDB-628BC247195B", NULL, NULL, NULL, NULL, 0};
    host.callback(module, &start);
    host.callback(module, &setup);
    host.callback(module, &netState);
    host.callback(module, &stop);

    ((DetachFn)SLOT(module, 1))(module);
    release(5, module); /* the index is ignored */
    release(0, NULL);
    FreeLibrary(dll);
    return 0;
}

struct ForeignModule {
    HMODULE dll;
    ReleaseModuleFn release;
    void* module;
    struct CHost host;
    struct ForeignHostReport report;
};

static const wchar_t kModuleStart[] = L"6775DCDE-47CE-4236-B0FA-92FFD3F1C9E8";

static void Deliver(struct ForeignModule* f, const wchar_t* id)
{
    struct CMessage message = {g_messageVtable, id, NULL, NULL, NULL, NULL, 0};
    f->host.callback(f->module, &message);
}

struct ForeignModule* StartForeignModule(const wchar_t* dllPath)
{
    struct ForeignModule* f = calloc(1, sizeof *f);
    QueryModuleFn query;
    if (f == NULL)
        return NULL;
    f->host = (struct CHost){g_hostVtable, &f->report, NULL};
    if ((f->dll = LoadLibraryW(dllPath)) != NULL) {
        query = (QueryModuleFn)(void*)GetProcAddress(f->dll, "RCVBusQueryModule");
        f->release = (ReleaseModuleFn)(void*)GetProcAddress(f->dll, "RCVBusReleaseModule");
        if (query != NULL && f->release != NULL && query(0, &f->module) && f->module != NULL &&
            ((AttachFn)SLOT(f->module, 0))(f->module, &f->host, L"") == 0 && f->host.callback != NULL) {
            Deliver(f, kModuleStart);
            return f;
        }
        FreeLibrary(f->dll);
    }
    free(f);
    return NULL;
}

void ReleaseForeignModule(struct ForeignModule* f)
{
    ((DetachFn)SLOT(f->module, 1))(f->module);
    f->release(0, f->module);
    FreeLibrary(f->dll);
    free(f);
}
