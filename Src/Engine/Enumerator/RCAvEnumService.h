#pragma once
// Reports the binaries of the services (RCAvEnumService) or the driver files
// (RCAvEnumDriver) that the service control manager knows, each through the
// base's path translation in both file views. Runs on the enumeration thread.
//
// The shared service host is reported at most once in the life of the
// process: a process-wide flag, shared by every service and driver
// enumerator of every task, read and written without a lock (two walks at
// the same time may both report it).
#include <cstdint>

#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"

namespace RC {

class RCAvEnumService : public RCAvEnumIMPL {
public:
    static constexpr int32_t kScanGroup = 0x02;

    // The scan group is fixed: the one given is not used.
    RCAvEnumService(int32_t scanGroup, int32_t showType);

    // One service binary path (a command line as the manager holds it).
    void FireServiceBinary(const wchar_t* path);

protected:
    void EnumImpl() override;

    uint32_t serviceTypeMask_ = SERVICE_WIN32;
};

class RCAvEnumDriver : public RCAvEnumService {
public:
    RCAvEnumDriver(int32_t scanGroup, int32_t showType);
};

} // namespace RC
