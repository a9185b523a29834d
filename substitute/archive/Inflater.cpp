#include "substitute/archive/Inflater.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace Substitute {

namespace {

// Room doubles from a small start up to steps of a fixed size, so that a
// small entry costs little, the deadline is looked at between steps, and
// nothing is allocated by what the archive declares.
constexpr std::size_t kFirstRoom = 64u << 10;
constexpr std::size_t kStep = 1u << 20;

class Stream {
public:
    explicit Stream(Deflated format)
    {
        ready_ = inflateInit2(&z_, format == Deflated::Gzip ? 16 + MAX_WBITS : -MAX_WBITS) == Z_OK;
    }
    ~Stream()
    {
        if (ready_)
            inflateEnd(&z_);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    bool ready_ = false;
    z_stream z_{};
};

} // namespace

Inflation Inflater::Inflate(std::string_view in, Deflated format, std::uint64_t limit,
                            std::chrono::steady_clock::time_point deadline, std::vector<std::uint8_t>& out)
{
    out.clear();
    Inflation result;
    Stream stream(format);
    if (!stream.ready_)
        return result;
    const std::size_t cap = static_cast<std::size_t>(std::min<std::uint64_t>(limit, std::numeric_limits<std::size_t>::max() / 2));
    z_stream& z = stream.z_;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    std::size_t inputLeft = in.size();
    std::size_t produced = 0;
    std::uint8_t probe = 0; // one byte past a full output: is there more?
    for (;;) {
        if (std::chrono::steady_clock::now() > deadline) {
            result.end = Inflation::End::Late;
            break;
        }
        const bool full = produced == cap;
        if (!full && out.size() == produced)
            out.resize(produced + std::min(std::clamp(produced, kFirstRoom, kStep), cap - produced));
        z.next_out = full ? &probe : out.data() + produced;
        z.avail_out = full ? 1u : static_cast<uInt>(out.size() - produced);
        const uInt give = static_cast<uInt>(std::min<std::size_t>(inputLeft, 1u << 30));
        z.avail_in = give;
        const uInt room = z.avail_out;
        const int status = inflate(&z, Z_NO_FLUSH);
        inputLeft -= give - z.avail_in;
        const std::size_t made = room - z.avail_out;
        if (full && made != 0) {
            result.end = Inflation::End::Limit;
            break;
        }
        produced += made;
        if (status == Z_STREAM_END) {
            result.end = Inflation::End::Complete;
            break;
        }
        // There is always room for output: any other status, or no progress
        // at all, is damage or an input that ends inside the stream.
        if (status != Z_OK || (made == 0 && give == z.avail_in))
            break;
    }
    out.resize(produced);
    result.consumed = in.size() - inputLeft;
    return result;
}

} // namespace Substitute
