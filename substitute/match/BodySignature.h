#pragma once
// One line of a body-signature database (.ndb):
// Name:TargetType:Offset:HexSignature[:MinLevel[:MaxLevel]]. The levels are
// read first: a line for another engine is skipped whatever else it holds.
// Target types 0 (any file, also written "*"), 1 (executables: files that
// start with "MZ", PE header or not) and 7 (text, matched only against its
// normalised copy) are read; a line for another target type is well formed
// but not for us. The offset says where the pattern may start:
// "*" anywhere, "n", "EOF-n", "EP+n", "EP-n", "Sx+n", "SEx", "SL+n", each but
// "*" optionally followed by ",shift" (any start up to shift bytes later).
// Pure: no system calls.

#include <cstdint>
#include <string_view>

#include "substitute/match/BodyPattern.h"
#include "substitute/signature/NamePool.h"
#include "substitute/pe/PeSectionTable.h"
#include "substitute/signature/SignatureParser.h"

namespace Substitute {

struct BodyOffset {
    enum class Kind : std::uint8_t { Any, Start, FromEnd, EntryPoint, SectionStart, SectionWhole, LastSection };
    Kind kind = Kind::Any;
    std::int64_t delta = 0; // bytes from the point the kind names (negative: before it)
    std::uint32_t section = 0;
    std::uint32_t shift = 0;

    // From this file size on, clamscan checks an SEx pattern of fixed bytes
    // alone only at the section's start.
    static constexpr std::uint64_t kPlainSectionStartOnly = 256 * 1024;

    // The starts this offset allows in a file of this size and layout, as
    // [first, last]; false when it allows none. plain: the pattern is one
    // run of fixed bytes.
    bool Range(const PeSections& layout, std::uint64_t fileSize, bool plain, std::uint64_t& first,
               std::uint64_t& last) const;
};

enum class BodyTarget : std::uint8_t { AnyFile = 0, Pe = 1, Text = 7 };

// The bytes a scan matches: a file's own (target types 0 and 1), or the
// normalised copy of a text (0 and 7).
enum class BodyPass : std::uint8_t { Raw, Text };

inline bool Reads(BodyPass pass, BodyTarget target)
{
    return target == BodyTarget::AnyFile || (target == BodyTarget::Text) == (pass == BodyPass::Text);
}

struct BodySignature {
    BodyTarget target = BodyTarget::AnyFile;
    BodyOffset offset;
    BodyPattern pattern;
    std::string_view name; // points into the parsed line
    NameRef nameRef;       // in the database's pool, once added
    std::uint32_t record = 0;
    // A logical signature's sub-signature (its number among all of them) is
    // counted at each match, never reported itself.
    static constexpr std::uint32_t kNoSub = 0xFFFFFFFFu;
    std::uint32_t sub = kNoSub;
    bool noCase = false;   // letters match in either case (the fragment is looked for in every case form)
    bool fullWord = false; // one part, with no letter or digit right before or after it
};

struct BodyLine {
    LineStatus status = LineStatus::Malformed;
    const char* why = nullptr; // Malformed: what is wrong
    unsigned otherTarget = 0;  // OtherLevel because of the target type: that type, else 0
    BodySignature signature;
};

class BodySignatureParser {
public:
    // subSignature: the line stands for a logical signature's part, which
    // clamscan matches by its general algorithm whatever its length.
    static BodyLine ParseLine(std::string_view line, bool subSignature = false);
};

} // namespace Substitute
