#pragma once
// The target description block of a logical signature: comma-separated
// "Key:Value" pairs saying which files the signature is for. "Engine:X-Y"
// (the engine levels, first when present), "Target:N" (always present),
// "FileSize:X-Y", and for executables "EntryPoint:X-Y" (the entry point's
// file offset) and "NumberOfSections:X-Y", each needing an engine level of
// at least 51; "Container:CL_TYPE_ANY" (a file scanned as itself, not as an
// archive's member: every file this engine scans); "HandlerType", which
// changes nothing for the match itself.
//
// What needs more than this engine knows (other target types, members of
// containers, icon groups) parses as Unsupported with a kind to count the
// signature under in the load summary. Pure: no system calls.

#include <cstdint>
#include <string>
#include <string_view>

#include "substitute/match/BodySignature.h"
#include "substitute/pe/PeSectionTable.h"

namespace Substitute {

struct TargetRange {
    std::uint64_t low = 0;
    std::uint64_t high = ~std::uint64_t{0};
    bool Holds(std::uint64_t value) const { return value >= low && value <= high; }
};

struct TargetDescription {
    enum class Status : std::uint8_t { Ok, Malformed, OtherLevel, Unsupported };

    unsigned target = 0; // 0 any file, 1 executables (files that start with "MZ"), 7 text (normalised)
    bool hasFileSize = false, hasEntryPoint = false, hasSections = false;
    TargetRange fileSize, entryPoint, sections;

    // Status Malformed: why holds the reason; Unsupported: why names the kind.
    static Status Parse(std::string_view text, TargetDescription& description, std::string& why);

    // Whether a file of this size and layout, matched in this pass, is one the signature is for.
    bool Admits(const PeSections& layout, std::uint64_t size, BodyPass pass = BodyPass::Raw) const;
};

} // namespace Substitute
