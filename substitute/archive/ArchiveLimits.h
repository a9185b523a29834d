#pragma once
// How far the engine looks into a container, with clamscan's names and
// defaults: a container is a file whose entries are files of their own (a
// zip's entries, a gzip's stream, a tar's members). Every limit counts over
// the whole tree of one file the engine was handed, the nested containers
// included.

#include <cstdint>

namespace Substitute {

struct ArchiveLimits {
    // max-filesize: an entry is read up to this many bytes; so is the file
    // itself before it is looked into.
    std::uint64_t maxFileSize = 100ull << 20;
    // max-scansize: the bytes read out of all entries together.
    std::uint64_t maxScanSize = 400ull << 20;
    // max-files: the entries read out of the whole tree.
    std::uint32_t maxFiles = 10000;
    // max-recursion: an entry this many containers deep is not read (the
    // file handed over is depth 0, its entries depth 1).
    std::uint32_t maxRecursion = 17;
    // max-scantime, in milliseconds, for looking inside one file.
    std::uint32_t maxScanTimeMs = 120000;
    // alert-encrypted-archive: an encrypted entry is a finding, not a file left unread.
    bool alertEncrypted = false;
};

} // namespace Substitute
