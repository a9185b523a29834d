#include "substitute/quarantine/RestoreRequest.h"

#include <cstring>

namespace Substitute {

bool RestoreRequest::Read(const std::uint8_t* bytes, std::size_t size, RestoreRequest& request)
{
    if (bytes == nullptr || size < kSize)
        return false;
    std::wstring path;
    for (std::size_t i = 0; i < kPathUnits; ++i) {
        const std::uint8_t* unit = bytes + kPathOffset + 2 * i;
        const wchar_t value = static_cast<wchar_t>(unit[0] | unit[1] << 8);
        if (value == 0)
            break;
        path.push_back(value);
    }
    if (path.empty())
        return false;
    request.path = std::move(path);
    std::memcpy(request.md5, bytes + kMd5Offset, sizeof request.md5);
    return true;
}

} // namespace Substitute
