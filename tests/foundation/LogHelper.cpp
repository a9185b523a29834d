// A host process for the logging tests: sets the logger up as a library
// would (with a module handle of its own choosing, here kernel32's, so that
// lines carry a module name) and logs one line per level and a long one.
#include "foundation/RCDebugger.h"

#include <string>

namespace RC {
struct RCLogHelper {
    static void Run();
};

void RCLogHelper::Run()
{
    for (unsigned level = 1; level <= 5; ++level)
        RC_LOG(level, L"kivo level %d of %s", level, L"helper");
    const std::wstring longText(1500, L'x');
    RC_LOG(1, L"long %s end", longText.c_str());
}
} // namespace RC

int main()
{
    RC::RCDebugger::GetInstance()->Init(::GetModuleHandleW(L"kernel32.dll"));
    RC::RCLogHelper::Run();
    return 0;
}
