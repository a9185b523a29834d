#pragma once
// A private copy of the substitute engine in a fresh temporary folder, loaded
// through LoadLibrary/GetProcAddress and driven by raw vtable slots as a
// foreign (MSVC) host would. The engine keeps its signatures, controls and
// quarantine beside itself, so every test gets an engine of its own.

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ScanResult.h"
#include "support/TestData.h"

namespace EngineTest {

// Calls slot `slot` of a boundary object as MSVC code would: __thiscall.
template <typename R, typename... A>
R CallSlot(void* object, int slot, A... args)
{
    using Fn = R(__thiscall*)(void*, A...);
    Fn fn = reinterpret_cast<Fn>((*static_cast<void***>(object))[slot]);
    return fn(object, args...);
}

class EngineCopy {
public:
    EngineCopy();
    ~EngineCopy();

    const std::wstring& Folder() const { return folder_; }
    std::wstring PathOf(const std::wstring& relative) const { return folder_ + L"\\" + relative; }
    void Write(const std::wstring& relative, const std::string& bytes) const;
    std::string Read(const std::wstring& relative) const;
    std::vector<std::wstring> List(const std::wstring& pattern) const;

    // library: L"Quentor.dll" or L"Halvane.dll".
    void* Create(const wchar_t* library, std::uint32_t objectId);
    void Destroy(const wchar_t* library, std::uint32_t objectId, void* object);
    HMODULE Module(const wchar_t* library);

private:
    std::wstring folder_;
    std::map<std::wstring, HMODULE> modules_;
};

// Collects answers of the result callback, as the product's queue would.
class AnswerLog {
public:
    static void __cdecl Callback(void* context, std::uint32_t taskId, const wchar_t* path, const RC::ScanResult* result);

    // Waits (generously; not a timing check) until at least count answers came.
    bool WaitFor(std::size_t count);
    std::size_t Count();
    std::vector<RC::ScanResult> For(std::uint32_t taskId);
    int Running();

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::multimap<std::uint32_t, RC::ScanResult> answers_;
    int running_ = 0;
};

std::string Md5Hex(const std::string& bytes);
std::string Sha1Hex(const std::string& bytes);
std::string Sha256Hex(const std::string& bytes);
using KivoTest::ReadAll;
void WriteAll(const std::wstring& path, const std::string& bytes);
bool Exists(const std::wstring& path);

} // namespace EngineTest
