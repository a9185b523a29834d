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
    RC_LOG(Failure, L"kivo level %d of %s", 1, L"helper");
    RC_LOG(LostWork, L"kivo level %d of %s", 2, L"helper");
    RC_LOG(Lifecycle, L"kivo level %d of %s", 3, L"helper");
    RC_LOG(Progress, L"kivo level %d of %s", 4, L"helper");
    RC_LOG(Detail, L"kivo level %d of %s", 5, L"helper");
    const std::wstring longText(1500, L'x');
    RC_LOG(Failure, L"long %s end", longText.c_str());
}
} // namespace RC

int main()
{
    RC::RCDebugger::GetInstance()->Init(::GetModuleHandleW(L"kernel32.dll"));
    RC::RCLogHelper::Run();
    return 0;
}
