#pragma once
// Holder of a "SafeData" record (and optionally a "SafeDataHeader" integer)
// for one posted message.
#include <cstdint>
#include <memory>

#include "module/IVBusMessageHolder.h"

namespace RC {

class RCModuleMsgData final : public DmAvCore::IVBusMessageHolder {
public:
    RCModuleMsgData() = default;
    ~RCModuleMsgData() = default;
    RCModuleMsgData(const RCModuleMsgData&) = delete;
    RCModuleMsgData& operator=(const RCModuleMsgData&) = delete;

    void __thiscall WriteTo(DmAvCore::IVBusMessage* message) override;
    void __thiscall ReadFrom(DmAvCore::IVBusMessage* message) override;
    void* __thiscall DeletingDestructor(unsigned flags) override;

    // Copies the block; a null block or a length of 0 leaves no data.
    void SetData(const uint8_t* block, uint32_t length);
    void SetHeader(int32_t value) { header_.reset(new int32_t(value)); }

    const uint8_t* data() const { return data_.get(); }
    uint32_t size() const { return size_; }

private:
    std::unique_ptr<int32_t> header_;
    std::unique_ptr<uint8_t[]> data_;
    uint32_t size_ = 0;
};

} // namespace RC
