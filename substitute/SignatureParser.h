#pragma once
// Text of a .hdb or .hsb file to signatures. Pure: no system calls, so the
// parser can be built natively and fed arbitrary bytes.
//
// Line shape: HASH:SIZE:NAME, optionally followed by numeric engine-level
// fields, which are ignored. .hdb takes MD5 only; .hsb takes MD5, SHA1 or
// SHA256 (told apart by length). SIZE is decimal or "*". Blank lines and
// lines starting with '#' are not signatures; any other line that does not fit
// is skipped and counted, never fatal.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "substitute/HashSignature.h"

namespace Substitute {

enum class SignatureFormat { Hdb, Hsb };

struct ParseCounts {
    std::size_t added = 0;
    std::size_t malformed = 0;
};

class SignatureParser {
public:
    static std::optional<SignatureFormat> FormatOfFileName(std::wstring_view fileName);
    static std::optional<HashSignature> ParseLine(std::string_view line, SignatureFormat format);
    // Appends every well-formed line of text to out.
    static ParseCounts ParseText(std::string_view text, SignatureFormat format, std::vector<HashSignature>& out);
};

} // namespace Substitute
