#include "substitute/text/MarkupMarkers.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace Substitute {

namespace {

// clamscan's HTML tags, each in the spellings it looks for (no others: "<hTmL>" is none).
constexpr std::string_view kTags[] = {
    "<HEAD>",  "<HTML>", "<Head>", "<Html>", "<IFRAME", "<IMG", "<Img",    "<OBJECT", "<Object", "<SCRIPT",
    "<Script", "<TABLE", "<head>", "<html>", "<iframe", "<img", "<object", "<script", "<table",
};

bool At(const std::uint8_t* bytes, std::size_t size, std::size_t at, std::string_view text)
{
    return size - at >= text.size() && std::memcmp(bytes + at, text.data(), text.size()) == 0;
}

// "href" after "<a ": h and r in either case, then "EF" or "ef".
bool Href(const std::uint8_t* bytes, std::size_t size, std::size_t at)
{
    if (size - at < 4 || (bytes[at] | 0x20) != 'h' || (bytes[at + 1] | 0x20) != 'r')
        return false;
    return (bytes[at + 2] == 'E' && bytes[at + 3] == 'F') || (bytes[at + 2] == 'e' && bytes[at + 3] == 'f');
}

} // namespace

bool MarkupMarkers::In(const std::uint8_t* data, std::size_t size)
{
    MarkupMarkers markers;
    markers.Look(data, size, 0, size);
    return markers.found_;
}

void MarkupMarkers::Reset()
{
    tailSize_ = 0;
    anchor_ = false;
    found_ = false;
}

void MarkupMarkers::Feed(const std::uint8_t* data, std::size_t size)
{
    if (found_ || size == 0)
        return;
    if (tailSize_ != 0) {
        // Markup that starts in the last chunk's final bytes and ends in this one.
        const std::size_t more = std::min(size, kLongest - 1);
        std::memcpy(tail_ + tailSize_, data, more);
        Look(tail_, tailSize_ + more, 0, tailSize_);
    }
    Look(data, size, 0, size);
    tailSize_ = std::min(size, kLongest - 1);
    std::memcpy(tail_, data + size - tailSize_, tailSize_);
}

void MarkupMarkers::Look(const std::uint8_t* bytes, std::size_t size, std::size_t first, std::size_t last)
{
    for (std::size_t at = first; at < last && !found_; ++at) {
        // Until "<a " is seen only a tag's '<' starts markup: skip to the next one.
        if (!anchor_) {
            const void* tag = std::memchr(bytes + at, '<', last - at);
            if (tag == nullptr)
                return;
            at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(tag) - bytes);
        }
        if (bytes[at] == '<') {
            for (std::string_view tag : kTags)
                found_ = found_ || At(bytes, size, at, tag);
            anchor_ = anchor_ || At(bytes, size, at, "<a ") || At(bytes, size, at, "<A ");
        } else if (anchor_ && Href(bytes, size, at)) {
            found_ = true;
        }
    }
}

} // namespace Substitute
