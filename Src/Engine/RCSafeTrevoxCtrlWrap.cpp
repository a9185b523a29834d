#include "Engine/RCSafeTrevoxCtrlWrap.h"

namespace RC {

void RCSafeTrevoxCtrlWrap::UnInitAll() {}

void RCSafeTrevoxCtrlWrap::OnReceiveMessage(const std::wstring&, const std::wstring&, const std::wstring&,
                                            const uint8_t*, uint32_t)
{
}

} // namespace RC
