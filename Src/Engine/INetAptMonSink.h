#pragma once
// Told by the network monitor, on its own thread, when a probe finds the
// machine reachable or not.
#include <cstdint>

namespace RC {

class INetAptMonSink {
public:
    virtual int32_t OnNetDisconnected() = 0;
    virtual int32_t OnNetConnected() = 0;
    virtual ~INetAptMonSink() = default;
};

} // namespace RC
