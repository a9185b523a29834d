#include "foundation/RCDebugger.h"

#include "foundation/RCAutoLock.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCLogConfig.h"
#include "foundation/RCMutex.h"
#include "foundation/RCPath.h"
#include "foundation/RCSingletonLock.h"
#include "foundation/RCTextConvert.h"
#include "foundation/RCWorldAccessSecurity.h"

#include <atomic>
#include <cctype>
#include <new>
#include <vector>

namespace RC {

namespace {

constexpr const wchar_t* kLogRoot = L"c:\\KivoTrevox\\";
constexpr const wchar_t* kConfigName = L"KivoLog.xml";
constexpr const wchar_t* kMutexSuffix = L"A648F790-9820-4172-BAE3-9D01B2FCC055";

bool ModuleFileName(HMODULE module, std::wstring& name)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return false;
    name = RCGetFileName(std::wstring(path, n));
    return true;
}

// The path only as the text of the source file name; ASCII from the compiler.
std::wstring Widen(const char* text)
{
    return text ? std::wstring(text, text + std::char_traits<char>::length(text)) : std::wstring();
}

} // namespace

struct RCDebuggerData {
    std::wstring logFilePath;
    RCCriticalSection initLock;
    RCMutex fileMutex;
    std::wstring processName;
    std::wstring moduleName;
    std::atomic<bool> initialized{false};
    // Published last by Init, after the names and the file path, so that a
    // thread that sees a level also sees everything a line needs.
    std::atomic<unsigned> logLevel{0};
    std::atomic<bool> logToFile{false};
};

RCDebugger::RCDebugger() : state_(new (std::nothrow) RCDebuggerData) {}

RCDebugger::~RCDebugger() = default;

RCDebugger* RCDebugger::GetInstance()
{
    return &RCSingletonLock::Instance<RCDebugger>();
}

void RCDebugger::Init(HMODULE module)
{
    RCDebuggerData* state = state_.get();
    if (!state || state->initialized.load(std::memory_order_acquire))
        return;
    RCAutoLock guard(state->initLock);
    if (state->initialized)
        return;
    // Set at once: a log call on another thread during set-up sees level 0.
    state->initialized = true;

    if (!ModuleFileName(nullptr, state->processName))
        return;
    if (module && !ModuleFileName(module, state->moduleName))
        return;

    // Other integrity levels and accounts must be able to open the same mutex.
    RCWorldAccessSecurity security(false);
    state->fileMutex.Create(state->processName + kMutexSuffix, security.Get());

    const std::wstring configPath = RCPathJoin(kLogRoot, kConfigName);
    std::vector<char> text;
    RCLogSetting setting;
    if (!RCIsFile(configPath) || !RCReadWholeFile(configPath, text) ||
        !RCReadLogConfig(text, state->processName, state->moduleName, RCUtf8ToWide, setting))
        return;

    if (setting.toFile && setting.level != 0) {
        // A folder that cannot be made only makes the writes fail later.
        std::wstring folder = RCPathJoin(kLogRoot, L"Log");
        RCCreateDirectories(folder);
        folder = RCPathJoin(folder, state->processName);
        RCCreateDirectories(folder);
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        std::wstring date;
        RCFormatString(date, L"%.4d-%.2d-%.2d", now.wYear, now.wMonth, now.wDay);
        state->logFilePath = folder + L"\\" + std::to_wstring(::GetCurrentProcessId()) + L"_" + date + L".log";
    }
    state->logToFile.store(setting.toFile, std::memory_order_release);
    state->logLevel.store(setting.level, std::memory_order_release);
}

int RCDebugger::GetOutputMode(RCLogLevel level)
{
    Init(nullptr);
    RCDebuggerData* state = state_.get();
    if (!state || !state->initialized.load(std::memory_order_acquire) ||
        static_cast<unsigned>(level) > state->logLevel.load(std::memory_order_acquire))
        return 0;
    return state->logToFile.load(std::memory_order_acquire) ? 2 : 1;
}

void RCDebugger::FormatLine(RCLogLevel level, std::wstring& message, const wchar_t* sourcePath, const wchar_t* function,
                            int line)
{
    RCDebuggerData* state = state_.get();
    if (!state || !state->initialized.load(std::memory_order_acquire))
        return;

    SYSTEMTIME now;
    ::GetLocalTime(&now);
    std::wstring time;
    RCFormatString(time, L"%.2d-%.2d-%.2d-%.3d", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    const std::wstring file = sourcePath ? RCGetFileName(sourcePath) : std::wstring();
    const wchar_t* func = function ? function : L"";

    std::wstring result;
    if (!state->moduleName.empty() && state->moduleName != state->processName) {
        RCFormatString(result, L"\r\n[%s] >> [L%d] [%s] %s << [%s(PID:%d)|%s(SID:%d)|%s(Line:%d)]\r\n", time.c_str(),
                       static_cast<unsigned>(level), func, message.c_str(), state->processName.c_str(),
                       ::GetCurrentProcessId(), state->moduleName.c_str(), ::GetCurrentThreadId(), file.c_str(), line);
    } else {
        RCFormatString(result, L"\r\n[%s] >> [L%d] [%s] %s << [%s(PID:%d)|(SID:%d)|%s(Line:%d)]\r\n", time.c_str(),
                       static_cast<unsigned>(level), func, message.c_str(), state->processName.c_str(),
                       ::GetCurrentProcessId(), ::GetCurrentThreadId(), file.c_str(), line);
    }
    message.swap(result);
}

void RCDebugger::OutputDebug(const std::wstring& line)
{
    ::OutputDebugStringW(line.c_str());
}

void RCDebugger::WriteToFile(const std::wstring& line)
{
    RCDebuggerData* state = state_.get();
    if (!state || !state->initialized.load(std::memory_order_acquire))
        return;

    // Opened and closed per line, so that lines of several processes
    // interleave whole and a file deleted meanwhile is simply made again.
    RCMutexLock lock(&state->fileMutex);
    unique_hfile file(::CreateFileW(state->logFilePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    const std::string bytes = RCWideToMultiByte(line, CP_ACP);
    DWORD written = 0;
    ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void RCDebugger::Emit(int mode, RCLogLevel level, const char* sourcePath, const char* prettyFunction, int line,
                      std::wstring& message)
{
    const std::wstring source = Widen(sourcePath);
    const std::wstring function = QualifiedFunctionName(prettyFunction);
    FormatLine(level, message, sourcePath ? source.c_str() : nullptr, prettyFunction ? function.c_str() : nullptr,
               line);
    OutputDebug(message);
    if (mode == 2)
        WriteToFile(message);
}

std::wstring RCDebugger::QualifiedFunctionName(const char* prettyFunction)
{
    if (!prettyFunction)
        return std::wstring();
    std::string text = prettyFunction;
    // GCC appends the template arguments: "... [with T = int]".
    const size_t with = text.find(" [with ");
    if (with != std::string::npos)
        text.erase(with);
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        for (const char* qualifier : {" const", " volatile", " &&", " &", " noexcept"}) {
            const size_t length = std::char_traits<char>::length(qualifier);
            if (text.size() > length && text.compare(text.size() - length, length, qualifier) == 0) {
                text.erase(text.size() - length);
                trimmed = true;
            }
        }
    }

    // The parameter list: the parenthesis that matches the last ")". A
    // lambda has none; its text ends with "<lambda(...)>".
    if (!text.empty() && text.back() == ')') {
        int depth = 0;
        for (size_t i = text.size(); i-- > 0;) {
            if (text[i] == ')')
                ++depth;
            else if (text[i] == '(' && --depth == 0) {
                text.erase(i);
                break;
            }
        }
    }

    // The name runs back to the last blank outside brackets, where the return
    // type ends. An operator's symbol is no bracket, so the search for that
    // blank starts before the word "operator".
    size_t searchEnd = text.size();
    const size_t op = text.rfind("operator");
    if (op != std::string::npos && (op == 0 || text[op - 1] == ':' || text[op - 1] == ' ')) {
        const char next = op + 8 < text.size() ? text[op + 8] : ' ';
        if (!std::isalnum(static_cast<unsigned char>(next)) && next != '_')
            searchEnd = op;
    }
    int depth = 0;
    size_t start = 0;
    for (size_t i = searchEnd; i-- > 0;) {
        const char c = text[i];
        if (c == '>' || c == ')')
            ++depth;
        else if (c == '<' || c == '(')
            --depth;
        else if (c == ' ' && depth == 0) {
            start = i + 1;
            break;
        }
    }

    // Parameter lists inside the name go: a local scope "Run(int)::" and a
    // lambda "<lambda(int)>" read as "Run::" and "<lambda>"; "operator()"
    // keeps its parentheses.
    std::string name;
    for (size_t i = start; i < text.size(); ++i) {
        const bool callOperator = name.size() >= 8 && name.compare(name.size() - 8, 8, "operator") == 0;
        if (text[i] == '(' && !callOperator) {
            for (int open = 0; i < text.size(); ++i) {
                open += text[i] == '(' ? 1 : text[i] == ')' ? -1 : 0;
                if (open == 0)
                    break;
            }
            continue;
        }
        name += text[i];
    }
    return Widen(name.c_str());
}

} // namespace RC
