#pragma once
// Looks inside a file held in memory: each entry of a zip, gzip or tar is
// handed to a judge as a file of its own, and, when it is a container
// itself, looked inside in turn, within the limits. Entries live in memory
// only (a stored or tar entry is a view of its container, an inflated one a
// buffer of at most max-filesize bytes); nothing is written anywhere and
// names are only carried along. What a limit or damage keeps from being read
// is the walk's shortfall, never a silent "clean". Pure: zlib and no system
// calls, so that it can be fuzzed natively.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "substitute/archive/ArchiveLimits.h"

namespace Substitute {

enum class ContainerKind { None, Zip, Gzip, Tar };

class EntryJudge {
public:
    enum class Verdict { Clean, Allowed, Found };

    virtual ~EntryJudge() = default;
    // An entry's bytes, whole or cut at a limit. Allowed: clean, and not looked inside.
    virtual Verdict Judge(const std::uint8_t* data, std::size_t size) = 0;
    virtual bool Cancelled() const = 0;
};

struct WalkOutcome {
    bool found = false;              // the judge found an entry
    const char* heuristic = nullptr; // or the walk found something of its own
    std::string shortfall;           // the first thing not read, as a user reads it; empty when nothing was left
    std::uint32_t shortfalls = 0;
    std::uint32_t entries = 0; // read and judged
    std::uint64_t bytes = 0;   // of those entries
};

class ArchiveWalker {
public:
    static constexpr char kEncryptedZip[] = "Heuristics.Encrypted.Zip";

    ArchiveWalker(const ArchiveLimits& limits, EntryJudge& judge) : limits_(limits), judge_(judge) {}

    static ContainerKind Identify(const std::uint8_t* head, std::size_t size);
    // The file's own bytes are the caller's to judge: this judges what is inside.
    WalkOutcome Walk(const std::uint8_t* data, std::size_t size);

private:
    // Each returns false when the walk ends (a finding, a limit over the whole tree).
    bool Look(std::string_view container, ContainerKind kind, std::uint32_t depth);
    bool Zip(std::string_view container, std::uint32_t depth);
    bool Gzip(std::string_view container, std::uint32_t depth);
    bool Tar(std::string_view container, std::uint32_t depth);
    // Whether one more entry at this depth may be read, and up to how many bytes.
    enum class Admission { Read, Skip, Stop };
    Admission Admit(std::uint32_t depth, std::uint64_t& limit);
    bool Inflated(std::string_view stream, bool gzip, std::uint64_t limit, std::uint32_t depth);
    bool Visit(std::string_view entry, std::uint32_t depth);
    std::string LimitName(std::uint64_t limit) const;
    void CutShort(const std::string& why);

    const ArchiveLimits limits_;
    EntryJudge& judge_;
    std::chrono::steady_clock::time_point deadline_;
    WalkOutcome outcome_;
};

} // namespace Substitute
