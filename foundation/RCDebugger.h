#pragma once

#include "foundation/RCFormatString.h"

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

class RCSingletonLock;

namespace RC {

// The level of a log line. A line is logged when its number is at most the
// configuration's LogLevel: the numbers are what configurations are written in.
enum class RCLogLevel : unsigned {
    Failure = 1,   // what a scan needs is missing: the engine, a thread, an event
    LostWork = 2,  // a request, a result or a file that is dropped
    Lifecycle = 3, // enter and leave of lifecycle operations, thread starts
    Progress = 4,  // state changes and progress
    Detail = 5,    // per request and per file
};

struct RCDebuggerData;

// The library's diagnostic log. One per process; set up once from the
// configuration file (nothing is logged without it). Lines go to the
// debugger output and, when configured, are appended to a per-process log
// file under a mutex that all processes share.
//
// Log calls come from every thread. Set-up runs once under its own lock;
// afterwards the level test, formatting and debugger output take no lock,
// and file appends take only the cross-process mutex.
class RCDebugger {
public:
    // Never null.
    static RCDebugger* GetInstance();
    virtual ~RCDebugger();

    // The library's entry point passes its own module handle; every log
    // call passes null, which does nothing once set-up has begun.
    void Init(HMODULE module);

    // 0 do not log, 1 debugger output only, 2 debugger output and file.
    int GetOutputMode(RCLogLevel level);

    // Replaces the message by the complete log line.
    void FormatLine(RCLogLevel level, std::wstring& message, const wchar_t* sourcePath, const wchar_t* function,
                    int line);
    void OutputDebug(const std::wstring& line);
    void WriteToFile(const std::wstring& line);

    // One log call whose level passed GetOutputMode: formats the message
    // (a text without values is taken as it is) and writes the line.
    template <typename... Values>
    void Log(int mode, RCLogLevel level, const char* sourcePath, const char* prettyFunction, int line,
             const wchar_t* format, Values... values)
    {
        static_assert((std::is_scalar<Values>::value && ...),
                      "log values must be numbers or C strings (pass .c_str())");
        std::wstring message;
        if constexpr (sizeof...(Values) == 0)
            message = format ? format : L"";
        else
            RCFormatString(message, format, values...);
        Emit(mode, level, sourcePath, prettyFunction, line, message);
    }

    // "RC::RCExample::Start" from "void RC::RCExample::Start(int) const".
    static std::wstring QualifiedFunctionName(const char* prettyFunction);

private:
    friend class ::RCSingletonLock;
    RCDebugger();
    void Emit(int mode, RCLogLevel level, const char* sourcePath, const char* prettyFunction, int line,
              std::wstring& message);

    std::unique_ptr<RCDebuggerData> state_;
};

} // namespace RC

// Logs a line at a level (an RCLogLevel's name: Failure ... Detail) with the
// call site's function, file and line. Nothing is formatted when the level
// is not logged.
#define RC_LOG(level, format, ...)                                                                                     \
    do {                                                                                                               \
        ::RC::RCDebugger* rcLogger_ = ::RC::RCDebugger::GetInstance();                                                 \
        const int rcLogMode_ = rcLogger_->GetOutputMode(::RC::RCLogLevel::level);                                      \
        if (rcLogMode_ != 0)                                                                                           \
            rcLogger_->Log(rcLogMode_, ::RC::RCLogLevel::level, __FILE__, __PRETTY_FUNCTION__, __LINE__, format,       \
                           ##__VA_ARGS__);                                                                             \
    } while (0)
