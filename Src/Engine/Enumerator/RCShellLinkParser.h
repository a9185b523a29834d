#pragma once
// The byte-level reading of a Shell Link (.lnk) file: the 76-byte header, the
// optional target ID list and the LinkInfo block's local base path. Pure
// computation over a buffer, free of file and shell calls, so that it can be
// built natively and fuzzed. Every size and offset in the file is checked
// against the buffer: a link that lies about them is refused, never read
// beyond. As every reader of this layer that fills an out-parameter, a
// failed call leaves it as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace RC {

class RCShellLinkParser {
public:
    static constexpr size_t kHeaderSize = 76;
    static constexpr uint32_t kMaxBasePathBytes = 260;

    enum class Result {
        NotShellLink, // too short, or a header of another size: not ours to report
        Failed,       // an ID list that the file cannot hold
        Parsed,
    };

    struct Link {
        // Empty when the link has no ID list or an empty one.
        std::vector<uint8_t> idList;
        // Where the LinkInfo block would begin: right after the ID list.
        size_t linkInfoPosition = kHeaderSize;
    };

    static Result Parse(const uint8_t* data, size_t size, Link& link);

    // The local base path (bytes in the ANSI code page, up to the first
    // zero) of the LinkInfo block that starts at position; false when the
    // block's sizes are implausible or the file ends before them. A file
    // that ends inside the path gives true and an empty path.
    static bool ReadLinkInfoPath(const uint8_t* data, size_t size, size_t position, std::string& basePath);

    // True when the items' size fields chain to the zero terminator inside
    // the buffer and every item is of a kind whose fields the shell can read
    // without leaving it, so that the list can be handed to the shell.
    static bool IsWellFormedIdList(const uint8_t* data, size_t size);

private:
    static bool IsPlausibleItem(const uint8_t* item, size_t itemSize);
};

} // namespace RC
