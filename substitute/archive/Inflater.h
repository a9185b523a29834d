#pragma once
// Inflates a deflate stream (a zip entry's, or a gzip member with its header)
// into memory, never past a limit: the output grows as it comes, whatever
// size the archive declared, so a lying size or a bomb costs at most the
// limit. Pure: zlib and no system calls.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Substitute {

enum class Deflated { Raw, Gzip };

struct Inflation {
    enum class End { Complete, Limit, Broken, Late };
    End end = End::Broken;
    std::size_t consumed = 0; // input bytes the stream took
};

class Inflater {
public:
    // out receives what the stream holds, up to limit bytes; Limit says there
    // was more, Broken that the stream ends early or is damaged (out keeps
    // what came before), Late that the deadline passed first.
    static Inflation Inflate(std::string_view in, Deflated format, std::uint64_t limit,
                             std::chrono::steady_clock::time_point deadline, std::vector<std::uint8_t>& out);
};

} // namespace Substitute
