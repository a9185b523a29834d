#pragma once
// One line of a logical-signature database (.ldb):
// Name;TargetDescription;LogicalExpression;Subsig0[;Subsig1...]. Each
// sub-signature is a body pattern with an optional offset ("EP+10:hex",
// offsets as in .ndb lines) and optional modifiers after "::": i (letters in
// either case), w (each byte followed by a zero byte; gaps stay as they
// are), a (as written, the default; with w, both forms), f (a whole word:
// no letter or digit right before or after it). Each becomes one body
// signature, two for "wa", told apart from the others by its sub-signature
// number.
//
// Sub-signatures of kinds this engine cannot evaluate (regular expressions,
// byte comparisons, macros, version information) leave the whole signature
// unread, counted under that kind, never evaluated with a part missing.
// Pure: no system calls.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "substitute/logical/LogicalExpression.h"
#include "substitute/logical/TargetDescription.h"
#include "substitute/match/BodySignature.h"
#include "substitute/signature/NamePool.h"
#include "substitute/signature/SignatureParser.h"

namespace Substitute {

struct LogicalSignature {
    std::string_view name; // points into the parsed line
    NameRef nameRef;       // in the database's pool, once added
    std::uint32_t record = 0;
    TargetDescription target;
    LogicalExpression expression;
    std::uint32_t subCount = 0;
    // The sub-signatures' bodies; each body's sub is its sub-signature's number in this signature.
    std::vector<BodySignature> bodies;
};

struct LogicalLine {
    LineStatus status = LineStatus::Malformed;
    std::string why; // Malformed: what is wrong; OtherLevel: the kind skipped, or empty for an engine level
    LogicalSignature signature;
};

class LogicalSignatureParser {
public:
    static LogicalLine ParseLine(std::string_view line);
};

} // namespace Substitute
