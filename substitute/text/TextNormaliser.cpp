#include "substitute/text/TextNormaliser.h"

namespace Substitute {

std::size_t TextNormaliser::Normalise(const std::uint8_t* in, std::size_t size, std::uint8_t* out)
{
    std::uint8_t* const start = out;
    bool space = spaceWritten_;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = in[i];
        if (c > 0x20 && c < 0x80) {
            *out++ = c >= 'A' && c <= 'Z' ? static_cast<std::uint8_t>(c + ('a' - 'A')) : c;
            space = false;
        } else if (c == ' ' || (c >= '\t' && c <= '\r')) {
            if (!space)
                *out++ = ' ';
            space = true;
        }
    }
    spaceWritten_ = space;
    return static_cast<std::size_t>(out - start);
}

} // namespace Substitute
