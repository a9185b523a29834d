#include "substitute/logical/TargetDescription.h"

#include <cstddef>

#include "substitute/signature/DecimalText.h"
#include "substitute/signature/SignatureParser.h"

namespace Substitute {

namespace {

// The level the attributes beyond Engine and Target came with.
constexpr std::uint64_t kAttributesLevel = 51;

bool Decimal(std::string_view text, std::uint64_t& value)
{
    return ParseDecimal(text, value);
}

// "X-Y", or "-Y" for 0 to Y.
bool Range(std::string_view text, TargetRange& range)
{
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos)
        return false;
    if (dash == 0)
        range.low = 0;
    else if (!Decimal(text.substr(0, dash), range.low))
        return false;
    return Decimal(text.substr(dash + 1), range.high) && range.low <= range.high;
}

} // namespace

TargetDescription::Status TargetDescription::Parse(std::string_view text, TargetDescription& description,
                                                   std::string& why)
{
    description = TargetDescription{};
    bool hasTarget = false, hasEngine = false, newAttributes = false;
    std::uint64_t lowestLevel = 0;
    std::string unsupported;
    for (std::size_t start = 0, position = 0; start <= text.size(); ++position) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        const std::string_view pair = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t colon = pair.find(':');
        const std::string_view key = pair.substr(0, colon);
        const std::string_view value = colon == std::string_view::npos ? std::string_view() : pair.substr(colon + 1);
        if (key == "Engine") {
            TargetRange levels;
            if (position != 0) {
                why = "Engine not the first attribute";
                return Status::Malformed;
            }
            if (!Range(value, levels)) {
                why = "a malformed Engine range";
                return Status::Malformed;
            }
            hasEngine = true;
            lowestLevel = levels.low;
            if (!levels.Holds(kFunctionalityLevel)) {
                why.clear();
                return Status::OtherLevel;
            }
        } else if (key == "Target") {
            std::uint64_t target = 0;
            if (!Decimal(value, target)) {
                why = "a malformed Target";
                return Status::Malformed;
            }
            hasTarget = true;
            description.target = static_cast<unsigned>(target > 0xFFFF ? 0xFFFF : target);
        } else if (key == "FileSize" || key == "EntryPoint" || key == "NumberOfSections") {
            newAttributes = true;
            TargetRange& range = key == "FileSize"     ? description.fileSize
                                 : key == "EntryPoint" ? description.entryPoint
                                                       : description.sections;
            (key == "FileSize"     ? description.hasFileSize
             : key == "EntryPoint" ? description.hasEntryPoint
                                   : description.hasSections) = true;
            if (!Range(value, range)) {
                why = "a malformed " + std::string(key) + " range";
                return Status::Malformed;
            }
        } else if (key == "Container") {
            newAttributes = true;
            if (value != "CL_TYPE_ANY" && unsupported.empty())
                unsupported = "ldb for a container's members";
        } else if (key == "Intermediates") {
            newAttributes = true;
            if (unsupported.empty())
                unsupported = "ldb for a container's members";
        } else if (key == "IconGroup1" || key == "IconGroup2") {
            newAttributes = true;
            if (unsupported.empty())
                unsupported = "ldb with icon groups";
        } else if (key == "HandlerType") {
            newAttributes = true;
        } else {
            // clamscan loads such a line and never matches it.
            why = "ldb with an unknown attribute";
            return Status::Unsupported;
        }
    }
    if (!hasTarget) {
        why = "no Target";
        return Status::Malformed;
    }
    if (newAttributes && (!hasEngine || lowestLevel < kAttributesLevel)) {
        why = "attributes past Engine and Target without Engine from level 51";
        return Status::Malformed;
    }
    if ((description.hasEntryPoint || description.hasSections) && description.target != 1) {
        why = "EntryPoint or NumberOfSections for a target that is not an executable";
        return Status::Malformed;
    }
    if (description.target > 1 && description.target != static_cast<unsigned>(BodyTarget::Text)) {
        why = "ldb for target type " + std::to_string(description.target);
        return Status::Unsupported;
    }
    if (!unsupported.empty()) {
        why = unsupported;
        return Status::Unsupported;
    }
    return Status::Ok;
}

bool TargetDescription::Admits(const PeSections& layout, std::uint64_t size, BodyPass pass) const
{
    if (!Reads(pass, static_cast<BodyTarget>(target)))
        return false;
    // Whatever starts with "MZ" is an executable to target type 1, readable header or not, as clamscan types files.
    if (target == 1 && layout.shape == PeSections::Shape::NotPe)
        return false;
    if (hasFileSize && !fileSize.Holds(size))
        return false;
    const bool image = layout.shape == PeSections::Shape::Pe;
    if (hasEntryPoint && !(image && layout.entryPoint && entryPoint.Holds(*layout.entryPoint)))
        return false;
    if (hasSections && !(image && sections.Holds(layout.sections.size())))
        return false;
    return true;
}

} // namespace Substitute
