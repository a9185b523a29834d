#include "substitute/match/BodySignature.h"

#include <limits>

#include "substitute/signature/DecimalText.h"

namespace Substitute {

namespace {

constexpr std::uint64_t kMaxOffset = std::uint64_t{1} << 40;
// clamscan's target types run from 0 to 14; it reads the pattern of every one of them.
constexpr std::uint64_t kLastTarget = 14;

// Offsets stay far below 2^40: twelve digits are plenty.
bool Decimal(std::string_view text, std::uint64_t& value)
{
    return ParseDecimal(text, value, 12);
}

bool Prefixed(std::string_view& text, std::string_view prefix)
{
    if (text.substr(0, prefix.size()) != prefix)
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

// "x+n": a section number and a distance.
bool SectionAndDelta(std::string_view text, std::uint32_t& section, std::int64_t& delta)
{
    const std::size_t plus = text.find('+');
    std::uint64_t number = 0, distance = 0;
    if (plus == std::string_view::npos || !Decimal(text.substr(0, plus), number) ||
        !Decimal(text.substr(plus + 1), distance) || number > 0xFFFF)
        return false;
    section = static_cast<std::uint32_t>(number);
    delta = static_cast<std::int64_t>(distance);
    return true;
}

const char* ParseOffset(std::string_view text, BodyOffset& offset)
{
    if (text == "*")
        return nullptr;
    const std::size_t comma = text.find(',');
    if (comma != std::string_view::npos) {
        std::uint64_t shift = 0;
        if (!Decimal(text.substr(comma + 1), shift) || shift > kMaxOffset)
            return "a malformed offset";
        offset.shift = static_cast<std::uint32_t>(std::min<std::uint64_t>(shift, 0xFFFFFFFFu));
        text = text.substr(0, comma);
    }
    std::uint64_t number = 0;
    if (Prefixed(text, "EOF-")) {
        offset.kind = BodyOffset::Kind::FromEnd;
        if (!Decimal(text, number))
            return "a malformed offset";
        offset.delta = -static_cast<std::int64_t>(std::min(number, kMaxOffset));
        return nullptr;
    }
    if (Prefixed(text, "EP+") || text.substr(0, 3) == "EP-") {
        const bool back = Prefixed(text, "EP-");
        offset.kind = BodyOffset::Kind::EntryPoint;
        if (!Decimal(text, number))
            return "a malformed offset";
        offset.delta = static_cast<std::int64_t>(std::min(number, kMaxOffset)) * (back ? -1 : 1);
        return nullptr;
    }
    if (Prefixed(text, "SL+")) {
        offset.kind = BodyOffset::Kind::LastSection;
        if (!Decimal(text, number))
            return "a malformed offset";
        offset.delta = static_cast<std::int64_t>(std::min(number, kMaxOffset));
        return nullptr;
    }
    if (Prefixed(text, "SE")) {
        offset.kind = BodyOffset::Kind::SectionWhole;
        if (!Decimal(text, number) || number > 0xFFFF)
            return "a malformed offset";
        offset.section = static_cast<std::uint32_t>(number);
        return nullptr;
    }
    if (Prefixed(text, "S")) {
        offset.kind = BodyOffset::Kind::SectionStart;
        return SectionAndDelta(text, offset.section, offset.delta) ? nullptr : "a malformed offset";
    }
    offset.kind = BodyOffset::Kind::Start;
    if (!Decimal(text, number))
        return "a malformed offset";
    offset.delta = static_cast<std::int64_t>(std::min(number, kMaxOffset));
    return nullptr;
}

} // namespace

bool BodyOffset::Range(const PeSections& layout, std::uint64_t fileSize, bool plain, std::uint64_t& first,
                       std::uint64_t& last) const
{
    std::int64_t base = 0;
    std::uint64_t width = 0; // starts after the first one that the kind itself allows
    switch (kind) {
    case Kind::Any:
        first = 0;
        last = std::numeric_limits<std::uint64_t>::max();
        return true;
    case Kind::Start:
        break;
    case Kind::FromEnd:
        // clamscan places nothing from the end of a file that claims to be an
        // image but whose header it cannot read: such a file flags alike here.
        if (layout.shape != PeSections::Shape::NotPe && !layout.PlacesOffsets())
            return false;
        base = static_cast<std::int64_t>(fileSize);
        break;
    case Kind::EntryPoint:
        if (!layout.PlacesOffsets() || !layout.entryPoint)
            return false;
        base = static_cast<std::int64_t>(*layout.entryPoint);
        break;
    case Kind::SectionStart:
    case Kind::SectionWhole:
    case Kind::LastSection: {
        if (!layout.PlacesOffsets() || layout.sections.empty())
            return false;
        const std::size_t index = kind == Kind::LastSection ? layout.sections.size() - 1 : this->section;
        if (index >= layout.sections.size())
            return false;
        // A section without raw data still has its start: Sx and SL count
        // from its aligned PointerToRawData, as clamscan's do.
        const PeSection& section = layout.sections[index];
        base = static_cast<std::int64_t>(section.offset);
        // SEx: a start anywhere from the section's first byte to the byte
        // just past it. clamscan checks a pattern of fixed bytes alone only
        // where the section starts once the file reaches 256 KiB.
        if (kind == Kind::SectionWhole && !(plain && fileSize >= kPlainSectionStartOnly))
            width = section.size;
        break;
    }
    }
    const std::int64_t start = base + delta;
    if (start < 0 || static_cast<std::uint64_t>(start) >= fileSize)
        return false;
    first = static_cast<std::uint64_t>(start);
    last = first + width + shift;
    return true;
}

BodyLine BodySignatureParser::ParseLine(std::string_view line, bool subSignature)
{
    BodyLine result;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#') {
        result.status = LineStatus::Blank;
        return result;
    }
    std::string_view fields[6];
    std::size_t count = 0;
    for (std::size_t start = 0;;) {
        const std::size_t colon = line.find(':', start);
        if (count == 6) {
            result.why = "too many fields";
            return result;
        }
        fields[count++] = line.substr(start, colon == std::string_view::npos ? colon : colon - start);
        if (colon == std::string_view::npos)
            break;
        start = colon + 1;
    }
    if (count < 4) {
        result.why = "too few fields";
        return result;
    }
    // The engine levels first, as clamscan reads them: a line for another
    // engine is skipped whatever the rest holds. An empty level is 0.
    std::uint64_t lowest = 0, highest = 0;
    if (count > 4 && !fields[4].empty() && !Decimal(fields[4], lowest)) {
        result.why = "a malformed engine level";
        return result;
    }
    if (lowest > kFunctionalityLevel) {
        result.status = LineStatus::OtherLevel;
        return result;
    }
    if (count > 5 && !fields[5].empty() && !Decimal(fields[5], highest)) {
        result.why = "a malformed engine level";
        return result;
    }
    if (count > 5 && highest < kFunctionalityLevel) {
        result.status = LineStatus::OtherLevel;
        return result;
    }
    // Target "*" is 0; clamscan reads no line for a target above its last (14).
    std::uint64_t target = 0;
    if (fields[1] != "*" && !Decimal(fields[1], target)) {
        result.why = "a malformed target type";
        return result;
    }
    if (target > kLastTarget) {
        result.status = LineStatus::OtherLevel;
        result.otherTarget = static_cast<unsigned>(std::min<std::uint64_t>(target, 0xFFFFFFFFu));
        return result;
    }
    if (fields[0].empty()) {
        result.why = "no name";
        return result;
    }
    BodySignature& signature = result.signature;
    signature.name = fields[0];
    if ((result.why = ParseOffset(fields[2], signature.offset)) != nullptr)
        return result;
    if ((result.why = BodyPattern::Parse(fields[3], signature.pattern)) != nullptr)
        return result;
    // clamscan matches fixed bytes alone (nothing of "?([{*" in them) by
    // another algorithm, one that needs three of them, for target 0, and for
    // target 1 at an offset that is neither '*' nor shifted.
    const bool shiftedOrAny = fields[2] == "*" || fields[2].find(',') != std::string_view::npos;
    if (!subSignature && target <= 1 && !(target == 1 && shiftedOrAny) &&
        fields[3].find_first_of("?([{*") == std::string_view::npos &&
        fields[3].size() < 6) {
        result.why = "fewer than three fixed bytes";
        return result;
    }
    if (target > 1 && target != static_cast<unsigned>(BodyTarget::Text)) {
        result.status = LineStatus::OtherLevel;
        result.otherTarget = static_cast<unsigned>(target);
        return result;
    }
    signature.target = static_cast<BodyTarget>(target);
    const bool imageOffset = signature.offset.kind != BodyOffset::Kind::Any &&
                             signature.offset.kind != BodyOffset::Kind::Start &&
                             signature.offset.kind != BodyOffset::Kind::FromEnd;
    if (imageOffset && signature.target != BodyTarget::Pe) {
        result.why = "an image offset for a target that is not an image";
        return result;
    }
    result.status = LineStatus::Signature;
    return result;
}

} // namespace Substitute
