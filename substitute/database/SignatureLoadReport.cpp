#include "substitute/database/SignatureLoadReport.h"

#include <algorithm>

namespace Substitute {

void SourceCounts::Add(const SourceCounts& other)
{
    for (std::size_t i = 0; i < kSignatureFormatCount; ++i)
        loaded[i] += other.loaded[i];
    malformed += other.malformed;
    otherLevel += other.otherLevel;
    for (const auto& [kind, count] : other.skippedKinds)
        skippedKinds[kind] += count;
}

bool SignatureLoadReport::Problem(std::string text)
{
    ++problemCount;
    // A problem's text begins with its file: "file:line: ...", "file: ...".
    const std::string file = text.substr(0, text.find(':'));
    const bool newFile = std::find(problemFiles.begin(), problemFiles.end(), file) == problemFiles.end();
    if (newFile && problemFiles.size() < kFilesNamed)
        problemFiles.push_back(file);
    else if (problems.size() >= kProblemsKept)
        return false;
    problems.push_back(std::move(text));
    return true;
}

std::string SignatureLoadReport::Summary() const
{
    std::string line = "signatures loaded:";
    bool any = false;
    for (std::size_t i = 0; i < kSignatureFormatCount; ++i) {
        if (counts.loaded[i] == 0)
            continue;
        line += (any ? ", " : " ") + std::to_string(counts.loaded[i]) + " " +
                SignatureParser::FormatName(static_cast<SignatureFormat>(i));
        any = true;
    }
    if (!any)
        line += " none";
    if (!counts.skippedKinds.empty()) {
        line += "; skipped:";
        bool first = true;
        for (const auto& [kind, count] : counts.skippedKinds) {
            line += (first ? " " : ", ") + std::to_string(count) + " " + kind;
            first = false;
        }
    }
    if (counts.otherLevel != 0)
        line += "; " + std::to_string(counts.otherLevel) + " for other engine levels";
    if (!containers.empty()) {
        line += "; containers:";
        bool first = true;
        for (const ContainerVersion& container : containers) {
            line += (first ? " " : ", ") + container.file + " version " + std::to_string(container.version);
            first = false;
        }
    }
    if (counts.malformed != 0)
        line += "; " + std::to_string(counts.malformed) + " malformed lines";
    if (brokenSources != 0)
        line += "; " + std::to_string(brokenSources) + " broken files skipped";
    if (rejectedEntries != 0)
        line += "; " + std::to_string(rejectedEntries) + " archive members rejected";
    return line;
}

} // namespace Substitute
