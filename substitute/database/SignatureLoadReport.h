#pragma once
// What loading a signature folder found: signatures per kind, kinds this
// engine does not read (with their line counts), the containers' versions,
// and the bad input skipped on the way, the first few of it by file and
// line. Pure: no system calls.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "substitute/signature/SignatureParser.h"

namespace Substitute {

struct ContainerVersion {
    std::string file;
    unsigned version = 0;
    unsigned signatures = 0; // as the header states
    unsigned level = 0;      // the engine level the header asks for
};

// Counts of one source; added to the report only when the source ended well.
struct SourceCounts {
    std::size_t loaded[kSignatureFormatCount] = {};
    std::size_t malformed = 0;
    std::size_t otherLevel = 0;
    std::map<std::string, std::size_t> skippedKinds;

    void Add(const SourceCounts& other);
};

struct SignatureLoadReport {
    static constexpr std::size_t kProblemsKept = 5;
    // Past the first problems, the first of each further file is kept too,
    // up to this many files, so that every broken file is named.
    static constexpr std::size_t kFilesNamed = 100;

    SourceCounts counts;
    std::vector<ContainerVersion> containers;
    std::size_t brokenSources = 0;     // containers or files skipped whole
    std::size_t rejectedEntries = 0;   // archive members skipped for their name or type
    std::vector<std::string> problems; // the first kProblemsKept, and the first of each file after them
    std::size_t problemCount = 0;
    std::vector<std::string> problemFiles; // the files (or container members) named so far

    // Counts a problem; keeps its text when it is one of the first.
    // Returns whether it was kept (and so should be logged).
    bool Problem(std::string text);
    // One line: loaded per kind, skipped kinds, versions, bad input.
    std::string Summary() const;
};

} // namespace Substitute
