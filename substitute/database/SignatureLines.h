#pragma once
// The lines of one database text (a loose file or a container's member), fed
// in pieces as they are read: each whole line is parsed and added, malformed
// ones counted and the first few named by source and line. A text of a kind
// this engine does not read only has its lines counted. A last line without a
// line end counts as a line only at End, so a cut text never yields half a
// signature. Pure: no system calls.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "substitute/database/SignatureDatabaseBuilder.h"
#include "substitute/database/SignatureLoadReport.h"
#include "substitute/signature/SignatureParser.h"

namespace Substitute {

class SignatureLines {
public:
    // Lines longer than this are malformed, and never held in memory whole.
    static constexpr std::size_t kMaxLine = 64 * 1024;

    SignatureLines(std::string source, std::optional<SignatureFormat> format, std::string kind,
                   SignatureDatabaseBuilder& builder, SourceCounts& counts, SignatureLoadReport& report);

    void Feed(std::string_view bytes);
    void End();

private:
    void Line(std::string_view line);
    void BodyLine(std::string_view line);
    void LogicalLine(std::string_view line);
    // A line of a kind this engine does not read, counted by signature.
    void SkippedLine(std::string_view line);

    const std::string source_;
    const std::optional<SignatureFormat> format_;
    const std::string kind_;
    SignatureDatabaseBuilder& builder_;
    SourceCounts& counts_;
    SignatureLoadReport& report_;
    std::string partial_;
    bool overlong_ = false;
    std::size_t lineNumber_ = 0;
    bool fileCounted_ = false;
};

} // namespace Substitute
