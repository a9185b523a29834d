#include "module/RCModuleMsgData.h"

#include <cstring>
#include <new>

#include "module/RCScalarDelete.h"

namespace RC {

void RCModuleMsgData::WriteTo(DmAvCore::IVBusMessage* message)
{
    if (message == nullptr)
        return;
    if (header_)
        message->SetBinary(L"SafeDataHeader", header_.get(), sizeof(int32_t));
    if (data_)
        message->SetBinary(L"SafeData", data_.get(), size_);
}

void RCModuleMsgData::ReadFrom(DmAvCore::IVBusMessage* message)
{
    if (message == nullptr)
        return;
    const uint32_t size = message->GetBinarySize(L"SafeData");
    if (size == 0 || size == DmAvCore::kAbsentBinary)
        return;
    data_.reset(new (std::nothrow) uint8_t[size]);
    size_ = data_ ? size : 0;
    if (data_)
        message->GetBinary(L"SafeData", data_.get(), size);
}

void* RCModuleMsgData::DeletingDestructor(unsigned flags)
{
    return RCScalarDeletingDestroy(this, flags);
}

void RCModuleMsgData::SetData(const uint8_t* block, uint32_t length)
{
    data_.reset();
    size_ = 0;
    if (block == nullptr || length == 0)
        return;
    data_.reset(new uint8_t[length]);
    std::memcpy(data_.get(), block, length);
    size_ = length;
}

} // namespace RC
