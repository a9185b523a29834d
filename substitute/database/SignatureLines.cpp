#include "substitute/database/SignatureLines.h"

#include <algorithm>

#include "substitute/logical/LogicalSignature.h"
#include "substitute/match/BodySignature.h"

namespace Substitute {

SignatureLines::SignatureLines(std::string source, std::optional<SignatureFormat> format, std::string kind,
                               SignatureDatabaseBuilder& builder, SourceCounts& counts, SignatureLoadReport& report)
    : source_(std::move(source)), format_(format), kind_(std::move(kind)), builder_(builder), counts_(counts),
      report_(report)
{
}

void SignatureLines::SkippedLine(std::string_view line)
{
    if (SignatureParser::IsBlank(line))
        return;
    // A bytecode file is one signature; a YARA file holds rules that span
    // lines; an engine configuration holds none. The other kinds write one
    // signature a line.
    if (kind_ == "cbc") {
        if (!fileCounted_)
            ++counts_.skippedKinds[kind_];
        fileCounted_ = true;
    } else if (kind_ == "yar" || kind_ == "yara") {
        std::string_view words = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
        for (std::string_view modifier : {"private ", "global "})
            while (words.substr(0, modifier.size()) == modifier)
                words.remove_prefix(modifier.size());
        if (words.substr(0, 5) == "rule " || words.substr(0, 5) == "rule\t")
            ++counts_.skippedKinds[kind_];
    } else if (kind_ != "cfg") {
        ++counts_.skippedKinds[kind_];
    }
}

void SignatureLines::Line(std::string_view line)
{
    ++lineNumber_;
    if (lineNumber_ == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") // UTF-8 byte order mark
        line.remove_prefix(3);
    if (overlong_) {
        overlong_ = false;
        ++counts_.malformed;
        report_.Problem(source_ + ":" + std::to_string(lineNumber_) + ": line too long");
        return;
    }
    if (!format_)
        return SkippedLine(line);
    if (*format_ == SignatureFormat::Ndb)
        return BodyLine(line);
    if (*format_ == SignatureFormat::Ldb)
        return LogicalLine(line);
    const ParsedLine parsed = SignatureParser::ParseLine(line, *format_);
    switch (parsed.status) {
    case LineStatus::Signature:
        if (builder_.IgnoresLine(parsed.signature.name, line))
            break;
        builder_.Add(parsed.signature);
        ++counts_.loaded[static_cast<std::size_t>(*format_)];
        break;
    case LineStatus::IgnoredName:
        builder_.AddIgnored(parsed.ignoredName, parsed.ignoredLine);
        ++counts_.loaded[static_cast<std::size_t>(*format_)];
        break;
    case LineStatus::Blank:
        break;
    case LineStatus::OtherLevel:
        ++counts_.otherLevel;
        break;
    case LineStatus::Malformed:
        ++counts_.malformed;
        report_.Problem(source_ + ":" + std::to_string(lineNumber_) + ": malformed line");
        break;
    }
}

void SignatureLines::BodyLine(std::string_view line)
{
    const Substitute::BodyLine parsed = BodySignatureParser::ParseLine(line);
    switch (parsed.status) {
    case LineStatus::Signature:
        if (builder_.IgnoresLine(parsed.signature.name, line))
            break;
        builder_.AddBody(parsed.signature);
        ++counts_.loaded[static_cast<std::size_t>(SignatureFormat::Ndb)];
        break;
    case LineStatus::OtherLevel:
        if (parsed.otherTarget != 0)
            ++counts_.skippedKinds["ndb for target type " + std::to_string(parsed.otherTarget)];
        else
            ++counts_.otherLevel;
        break;
    case LineStatus::Malformed:
        ++counts_.malformed;
        report_.Problem(source_ + ":" + std::to_string(lineNumber_) + ": malformed body signature: " + parsed.why);
        break;
    default:
        break;
    }
}

void SignatureLines::LogicalLine(std::string_view line)
{
    const Substitute::LogicalLine parsed = LogicalSignatureParser::ParseLine(line);
    switch (parsed.status) {
    case LineStatus::Signature:
        if (builder_.IgnoresLine(parsed.signature.name, line))
            break;
        builder_.AddLogical(parsed.signature);
        ++counts_.loaded[static_cast<std::size_t>(SignatureFormat::Ldb)];
        break;
    case LineStatus::OtherLevel:
        if (!parsed.why.empty())
            ++counts_.skippedKinds[parsed.why];
        else
            ++counts_.otherLevel;
        break;
    case LineStatus::Malformed:
        ++counts_.malformed;
        report_.Problem(source_ + ":" + std::to_string(lineNumber_) + ": malformed logical signature: " + parsed.why);
        break;
    default:
        break;
    }
}

void SignatureLines::Feed(std::string_view bytes)
{
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (end == std::string_view::npos) {
            if (!overlong_ && partial_.size() + piece.size() <= kMaxLine)
                partial_.append(piece);
            else
                overlong_ = true;
            return;
        }
        if (partial_.empty() && !overlong_) {
            Line(piece); // the common case: the whole line is in this piece
        } else {
            if (partial_.size() + piece.size() > kMaxLine)
                overlong_ = true;
            else
                partial_.append(piece);
            Line(partial_);
            partial_.clear();
        }
        bytes.remove_prefix(end + 1);
    }
}

void SignatureLines::End()
{
    if (!partial_.empty() || overlong_)
        Line(partial_);
    partial_.clear();
    overlong_ = false;
}

} // namespace Substitute
