// The log configuration file as the debugger reads it (its bytes plus the
// terminator the reader needs).
#include "foundation/RCLogConfig.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>

namespace {

// How names are decoded is the platform's business; any decoding will do here.
std::wstring BytesToWide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    RCLogSetting setting;
    setting.level = 12345;
    if (!RCReadLogConfig(text, L"Host.exe", L"Mod.dll", BytesToWide, setting))
        FUZZ_CHECK(setting.level == 12345); // untouched on failure
    return 0;
}
