#pragma once
// Reports the programs of the scheduled tasks: through Task Scheduler 1.0 on
// Windows 2000/XP/2003 (major version 5), through Task Scheduler 2.0 on
// Vista/7/8 (major version 6), as GetVersionExW reports it to the host.
//
// Threads: EnumImpl runs on the enumeration thread, which initialises COM for
// the length of the walk; every COM object of the walk lives and dies there.
// Stop comes from any thread through the base's flag.
#include <cstdint>

#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"

struct ITaskFolder;
struct IRegisteredTask;

namespace RC {

class RCAvEnumSystemTask : public RCAvEnumIMPL {
public:
    static constexpr int32_t kScanGroup = 0x20;

    // The scan group is always the scheduled tasks' group, whatever is given.
    RCAvEnumSystemTask(int32_t scanGroup, int32_t showType);

protected:
    void EnumImpl() override;

private:
    void EnumTaskScheduler1();
    void EnumTaskScheduler2();
    // Sub folders (depth first), then this folder's tasks, hidden ones included.
    void WalkTaskFolder(ITaskFolder* folder);
    // The first executable action with a path; false when the sink refused it.
    bool FireTaskProgram(IRegisteredTask* task);
};

} // namespace RC
