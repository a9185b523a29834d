#pragma once
// Identifiers of the bus vocabulary this module speaks: GUID texts, upper case,
// without braces, compared as exact wide strings.
#include <string>

namespace RC {

// Static texts: the module's own identifier, the lifecycle messages and the
// fixed addresses of the update relay.
constexpr const wchar_t* MODULE_ID = L"D41234FD-AFCC-4CE3-AAD0-BA7B94EFDA29";
constexpr const wchar_t* MSG_MODULE_START = L"6775DCDE-47CE-4236-B0FA-92FFD3F1C9E8";
constexpr const wchar_t* MSG_MODULE_STOP = L"D2C3581F-4520-4068-AEDB-628BC247195B";
constexpr const wchar_t* MSG_ADDRESS_NOTICE = L"797C2CE7-7C99-4BE9-8FB1-AB6CE55FF18A";
constexpr const wchar_t* MSG_ADDRESS_NOTICE_IN = L"AD91001F-A4E9-435D-8008-EC924711264B";

constexpr const wchar_t* UPDATER_ADDRESS1 = L"D3570CBB-9C35-4429-86C6-C7CD4B934230";
constexpr const wchar_t* UPDATER_ADDRESS2 = L"C3F54553-37D8-43F6-9B6A-B94882F36C91";
constexpr const wchar_t* ANSWER_ADDRESS1 = L"26E7EF8E-BBF6-4CC0-8F89-6C230422F289";
constexpr const wchar_t* ANSWER_ADDRESS2 = L"36D3FF08-C9B9-4DF6-947B-B076561AC362";
constexpr const wchar_t* UPDATER_PRESENCE_EVENT = L"C58FE465-6C5E-4D88-B632-F9F37D7A63C5";

// Requests and events: global strings built when the library is loaded.
extern const std::wstring REQ_TASK_SETUP;
extern const std::wstring REQ_TASK_COMMAND;
extern const std::wstring REQ_TASK_OPERATE;
extern const std::wstring REQ_TASK_CANCEL_OPERATE;
extern const std::wstring REQ_NET_STATE;
extern const std::wstring REQ_UPDATE_PAYLOAD;
extern const std::wstring REQ_UPDATE_ANSWER;
extern const std::wstring REQ_UPDATE_FORWARD;

extern const std::wstring EVT_TASK_SETUP_DONE;
extern const std::wstring EVT_TASK_COMMAND_RESULT;
extern const std::wstring EVT_SCAN_STATE;
extern const std::wstring EVT_SCAN_PROGRESS;
extern const std::wstring EVT_ITEM_STATUS;
extern const std::wstring EVT_ITEM_PROGRESS;
extern const std::wstring EVT_THREAT_FOUND;
extern const std::wstring EVT_OPERATE_STATE;
extern const std::wstring EVT_OPERATE_ITEM;
extern const std::wstring EVT_OPERATE_PROGRESS;
extern const std::wstring EVT_NET_STATE;

// The requests a module subscribes when attached, in subscription order.
extern const std::wstring* const kSubscribedRequests[7];

} // namespace RC
