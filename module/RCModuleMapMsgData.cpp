#include "module/RCModuleMapMsgData.h"

#include "module/RCScalarDelete.h"

namespace RC {

void RCModuleMapMsgData::WriteTo(DmAvCore::IVBusMessage* message)
{
    if (message == nullptr)
        return;
    for (const auto& pair : values_)
        message->SetString(pair.first.c_str(), pair.second.c_str());
}

void* RCModuleMapMsgData::DeletingDestructor(unsigned flags)
{
    return RCScalarDeletingDestroy(this, flags);
}

} // namespace RC
