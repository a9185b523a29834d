#include "substitute/text/TextNormaliser.h"

#include <algorithm>

namespace Substitute {

void TextNormaliser::Reset(std::uint64_t fileSize, std::size_t carry, bool asFile)
{
    textLeft_ = fileSize;
    pageLeft_ = 0;
    bufferSize_ = kBufferBytes + carry;
    bufferFill_ = 0;
    carry_ = carry;
    asFile_ = asFile;
    spaceWritten_ = false;
}

std::size_t TextNormaliser::Normalise(const std::uint8_t* in, std::size_t size, std::uint8_t* out)
{
    std::uint8_t* const start = out;
    for (std::size_t i = 0; i < size; ++i) {
        if (pageLeft_ == 0) {
            // A text that grew past the size it was begun with goes on in pages of its own.
            pageLeft_ = static_cast<std::size_t>(std::clamp<std::uint64_t>(textLeft_, 1, kPageBytes));
            // Matched as written: the next buffer starts with the last one's final bytes.
            if (!asFile_ && bufferFill_ + pageLeft_ > bufferSize_) {
                bufferFill_ = carry_;
                spaceWritten_ = false;
            }
        }
        --pageLeft_;
        textLeft_ -= textLeft_ != 0;
        const std::uint8_t c = in[i];
        if (c > 0x20 && c < 0x80) {
            *out++ = c >= 'A' && c <= 'Z' ? static_cast<std::uint8_t>(c + ('a' - 'A')) : c;
            spaceWritten_ = false;
        } else if (c == ' ' || (c >= '\t' && c <= '\r')) {
            if (spaceWritten_)
                continue;
            *out++ = ' ';
            spaceWritten_ = true;
        } else {
            continue;
        }
        // Kept as a file: a full buffer is written out and the next one starts empty.
        if (++bufferFill_ == bufferSize_ && asFile_) {
            bufferFill_ = 0;
            spaceWritten_ = false;
        }
    }
    return static_cast<std::size_t>(out - start);
}

} // namespace Substitute
