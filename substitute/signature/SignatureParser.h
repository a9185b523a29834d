#pragma once
// Lines of the hash databases to signatures. Pure: no system calls, so the
// parser can be built natively and fed arbitrary bytes.
//
// .hdb, .hsb, .fp, .sfp: HASH:SIZE:NAME; .mdb, .msb: SIZE:HASH:NAME; either
// optionally followed by the lowest and highest engine level the line is
// meant for, read before the rest. Every kind takes MD5, SHA1 or SHA256 (told
// apart by length), as clamscan does. SIZE is decimal (below 4 GiB) or "*", which needs a
// lowest level of at least 73 (older engines cannot read it). .ign2: a
// signature name, optionally followed by the MD5 of the line it silences.
// Blank lines and lines starting with '#' are not signatures; any other line
// that does not fit is malformed, never fatal.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "substitute/signature/HashSignature.h"

namespace Substitute {

// Ndb: body signatures, whose lines BodySignatureParser reads; Ldb: logical
// signatures, whose lines LogicalSignatureParser reads.
enum class SignatureFormat : std::uint8_t { Hdb, Hsb, Mdb, Msb, Fp, Sfp, Ign2, Ndb, Ldb };
constexpr std::size_t kSignatureFormatCount = 9;

// The engine level this engine reads lines for.
constexpr unsigned kFunctionalityLevel = 213;
constexpr unsigned kAnySizeLevel = 73;

enum class LineStatus : std::uint8_t {
    Signature,   // signature is filled in
    IgnoredName, // an .ign2 line: ignoredName is filled in
    Blank,       // blank or comment
    Malformed,
    OtherLevel, // well formed, for an engine level other than ours
};

struct ParsedLine {
    LineStatus status = LineStatus::Malformed;
    HashSignature signature;
    std::string_view ignoredName;
    // An .ign2 line may name one signature line by the MD5 of its text:
    // then only that line is silenced, not every signature of the name.
    std::optional<std::array<std::uint8_t, 16>> ignoredLine;
};

class SignatureParser {
public:
    static std::optional<SignatureFormat> FormatOfFileName(std::string_view fileName);
    static std::optional<SignatureFormat> FormatOfFileName(std::wstring_view fileName);
    static const char* FormatName(SignatureFormat format);
    // A line without its line end.
    static ParsedLine ParseLine(std::string_view line, SignatureFormat format);
    // Blank, or a comment: no signature of any kind.
    static bool IsBlank(std::string_view line);
};

} // namespace Substitute
