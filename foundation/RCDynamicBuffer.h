#pragma once

#include "foundation/RCBuffer.h"

namespace RC {

// A buffer that grows on demand, by at least a quarter of what it holds, so
// that filling it piece by piece does not reallocate at every piece.
template <typename T>
class RCDynamicBuffer : public RCBuffer<T> {
public:
    RCDynamicBuffer() = default;
    RCDynamicBuffer(const RCDynamicBuffer& other) : RCBuffer<T>(other) {}
    RCDynamicBuffer& operator=(const RCDynamicBuffer& other)
    {
        this->Assign(other);
        return *this;
    }
    ~RCDynamicBuffer() override = default;

    void Reserve(uint32_t capacity)
    {
        const uint32_t current = this->GetCapacity();
        if (current < capacity)
            Grow(capacity - current);
    }

private:
    void Grow(uint32_t needed)
    {
        const uint32_t current = this->GetCapacity();
        const uint32_t step = current > 64 ? current / 4 : (current > 8 ? 16 : 4);
        const uint32_t extra = step > needed ? step : needed;
        uint32_t capacity = current + extra;
        if (capacity < current)
            capacity = current + needed;
        this->SetCapacity(capacity);
    }
};

} // namespace RC
