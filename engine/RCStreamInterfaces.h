#pragma once
// The engine-style stream interfaces: asked for by numeric id, every
// operation answers a 32-bit status. They never leave the module, so they are
// ordinary C++ classes.

#include <cstdint>
#include <string>

namespace RC {

constexpr uint32_t RC_STATUS_OK = 0;
constexpr uint32_t RC_STATUS_FAILED = 1;
constexpr uint32_t RC_STATUS_INVALID_ARGUMENT = 0x80070057;
constexpr uint32_t RC_STATUS_NO_INTERFACE = 0x80004002;

class IUnknown {
public:
    virtual uint32_t QueryInterface(uint32_t interfaceId, void** out) = 0;
    virtual long AddRef() = 0;
    virtual long Release() = 0;
    virtual ~IUnknown() = default;
};

class ISequentialInStream : public IUnknown {
public:
    virtual uint32_t Read(void* data, uint32_t size, uint32_t* processed) = 0;
};

class IInStream : public ISequentialInStream {
public:
    static constexpr uint32_t kInterfaceId = 0x402;
    enum Origin : uint32_t { kBegin = 0, kCurrent = 1, kEnd = 2 };
    virtual uint32_t Seek(int64_t offset, uint32_t origin, uint64_t* newPosition) = 0;
};

class IStreamGetSize : public IUnknown {
public:
    static constexpr uint32_t kInterfaceId = 0x404;
    virtual uint32_t GetSize(uint64_t* size) = 0;
};

class ICloneStream : public IUnknown {
public:
    static constexpr uint32_t kInterfaceId = 0x406;
    // The new stream, whose first reference belongs to the caller; null on failure.
    virtual IInStream* Clone() = 0;
};

class IStreamGetFileName : public IUnknown {
public:
    static constexpr uint32_t kInterfaceId = 0x407;
    virtual uint32_t GetFileName(std::wstring* name) = 0;
};

} // namespace RC
