#pragma once
// Holder of named string values, written to the message in ordinal key order.
#include <map>
#include <string>

#include "module/IVBusMessageHolder.h"

namespace RC {

class RCModuleMapMsgData final : public DmAvCore::IVBusMessageHolder {
public:
    using Map = std::map<std::wstring, std::wstring>;

    explicit RCModuleMapMsgData(Map values) : values_(std::move(values)) {}
    ~RCModuleMapMsgData() = default;

    void __thiscall WriteTo(DmAvCore::IVBusMessage* message) override;
    void __thiscall ReadFrom(DmAvCore::IVBusMessage*) override {}
    void* __thiscall DeletingDestructor(unsigned flags) override;

private:
    Map values_;
};

} // namespace RC
