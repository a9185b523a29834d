// kivohost: loads a bus module the way the suite's host does, starts it, asks
// for the network state and prints what the module subscribed and answered.
#include <cstdio>
#include <map>
#include <string>

#include "host/RCBus.h"
#include "host/RCModuleLibrary.h"
#include "module/RCBusIds.h"
#include "module/RCBusRecords.h"

using KivoHost::RCBus;
using KivoHost::RCBusMessage;
using KivoHost::RCModuleLibrary;

namespace {

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    return out;
}

std::string NameOf(const std::wstring& id)
{
    static const std::map<std::wstring, const char*> names = {
        {RC::MSG_MODULE_START, "MSG_MODULE_START"},     {RC::MSG_MODULE_STOP, "MSG_MODULE_STOP"},
        {RC::REQ_TASK_SETUP, "REQ_TASK_SETUP"},         {RC::REQ_TASK_COMMAND, "REQ_TASK_COMMAND"},
        {RC::REQ_TASK_OPERATE, "REQ_TASK_OPERATE"},     {RC::REQ_NET_STATE, "REQ_NET_STATE"},
        {RC::REQ_UPDATE_PAYLOAD, "REQ_UPDATE_PAYLOAD"}, {RC::REQ_UPDATE_ANSWER, "REQ_UPDATE_ANSWER"},
        {RC::REQ_UPDATE_FORWARD, "REQ_UPDATE_FORWARD"}, {RC::EVT_NET_STATE, "EVT_NET_STATE"},
    };
    auto found = names.find(id);
    return found != names.end() ? found->second : Narrow(id);
}

void PrintSubscriptions(const char* when, const std::vector<std::wstring>& ids)
{
    std::printf("%s: %u subscriptions\n", when, static_cast<unsigned>(ids.size()));
    for (const std::wstring& id : ids)
        std::printf("  %-20s %s\n", NameOf(id).c_str(), Narrow(id).c_str());
}

std::wstring ModulePath()
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + L"RCTrevox.dll";
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring path = argc > 1 ? argv[1] : ModulePath();
    RCModuleLibrary library;
    if (!library.Load(path)) {
        std::fprintf(stderr, "kivohost: %s\n", Narrow(library.error()).c_str());
        return 2;
    }
    RC::DmAvCore::IVBusModule* module = library.QueryModule(0);
    if (module == nullptr) {
        std::fprintf(stderr, "kivohost: the library handed out no module\n");
        return 2;
    }

    RCBus bus;
    bus.AddListener([](const RCBusMessage& message) {
        if (message.id() != RC::EVT_NET_STATE)
            return;
        RC::NetStateEvent event;
        const std::vector<uint8_t>* data = message.binary(L"SafeData");
        if (data != nullptr && RC::RCDecodeRecord(event, *data))
            std::printf("answer: EVT_NET_STATE to %s/%s: connected=%d\n", Narrow(message.address1()).c_str(),
                        Narrow(message.address2()).c_str(), event.connected ? 1 : 0);
    });

    std::printf("module %s from %s (%u module(s))\n", Narrow(module->GetModuleId()).c_str(), Narrow(path).c_str(),
                library.ModuleCount());
    module->Attach(bus.HostFor(module), L"");
    PrintSubscriptions("attached", bus.SubscriptionsOf(module));

    bus.Post(RC::MSG_MODULE_START, L"", L"");
    bus.Post(RC::REQ_NET_STATE, L"kivohost", L"demo");
    bus.Post(RC::MSG_MODULE_STOP, L"", L"");
    bus.WaitIdle();

    module->Detach();
    PrintSubscriptions("detached", bus.SubscriptionsOf(module));
    library.ReleaseModule(0, module);
    return 0;
}
