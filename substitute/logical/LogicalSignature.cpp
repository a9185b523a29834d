#include "substitute/logical/LogicalSignature.h"

#include <cstddef>

namespace Substitute {

namespace {

// A case-insensitive fragment is looked for in each of its case forms: at
// most 2^kMaxFoldedLetters strings in the automaton per fragment.
constexpr std::size_t kMaxFoldedLetters = 3;
// Alternatives of a case-insensitive part, all case forms counted.
constexpr std::size_t kMaxFoldedChoices = 256;

bool IsLetter(std::uint8_t byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

bool IsNibble(char c)
{
    return c == '?' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The pattern as its wide form: every byte, wildcards and alternatives'
// bytes included, followed by a zero byte; gaps and anchors as they are.
std::string Widened(std::string_view hex)
{
    std::string wide;
    wide.reserve(hex.size() * 2);
    for (std::size_t at = 0; at < hex.size();) {
        const char c = hex[at];
        if (c == '(' && at + 2 < hex.size() && hex[at + 2] == ')' && !IsNibble(hex[at + 1])) {
            wide.append(hex.substr(at, 3)); // an anchor such as (L)
            at += 3;
        } else if (c == '{' || c == '[') {
            const std::size_t close = hex.find(c == '{' ? '}' : ']', at);
            const std::size_t end = close == std::string_view::npos ? hex.size() : close + 1;
            wide.append(hex.substr(at, end - at));
            at = end;
        } else if (IsNibble(c) && at + 1 < hex.size() && IsNibble(hex[at + 1])) {
            wide.append(hex.substr(at, 2));
            wide.append("00");
            at += 2;
        } else {
            wide.push_back(c);
            ++at;
        }
    }
    return wide;
}

// Every case form of text's letters, appended to forms.
void CaseForms(const std::string& text, std::vector<std::string>& forms)
{
    std::vector<std::size_t> letters;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (IsLetter(static_cast<std::uint8_t>(text[i])))
            letters.push_back(i);
    for (std::size_t mask = 0; mask < (std::size_t{1} << letters.size()); ++mask) {
        std::string form = text;
        for (std::size_t bit = 0; bit < letters.size(); ++bit)
            form[letters[bit]] =
                static_cast<char>(mask >> bit & 1 ? form[letters[bit]] & ~0x20 : form[letters[bit]] | 0x20);
        forms.push_back(std::move(form));
    }
}

// Makes a parsed pattern match letters in either case: a letter's byte
// compares without its case bit, alternatives are given in every case
// form, and the fragment is cut to a few letters, whose case forms the
// automaton then holds.
const char* FoldCase(BodyPattern& pattern)
{
    for (BodyPart& part : pattern.parts) {
        std::vector<std::string> choices;
        for (BodyElement& element : part.elements) {
            if (element.kind == BodyElement::Kind::Byte) {
                if (element.mask == 0xFF && IsLetter(element.value)) {
                    element.mask = 0xDF;
                    element.value &= 0xDF;
                }
            } else if (element.kind == BodyElement::Kind::Choice || element.kind == BodyElement::Kind::NotChoice) {
                const std::size_t first = choices.size();
                for (std::uint32_t c = element.low; c < element.low + element.high; ++c) {
                    std::size_t letters = 0;
                    for (char byte : part.choices[c])
                        letters += IsLetter(static_cast<std::uint8_t>(byte));
                    if (letters > 8 || choices.size() + (std::size_t{1} << letters) > kMaxFoldedChoices)
                        return "too many case forms of a case-insensitive alternative";
                    CaseForms(part.choices[c], choices);
                }
                element.low = static_cast<std::uint16_t>(first);
                element.high = static_cast<std::uint16_t>(choices.size() - first);
            }
        }
        part.choices = std::move(choices);
        // Its bytes no longer compare whole, and its fragment is cut: a found
        // fragment is no match until the part is checked.
        part.plain = false;
        std::size_t keep = 0, letters = 0;
        for (; keep < part.fragment.size(); ++keep) {
            letters += IsLetter(static_cast<std::uint8_t>(part.fragment[keep]));
            if (letters > kMaxFoldedLetters && keep >= BodyPattern::kMinFragment)
                break;
        }
        part.fragment.resize(keep);
    }
    return nullptr;
}

bool StartsWithDigitsThen(std::string_view text, std::string_view then)
{
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    return digits != 0 && text.substr(digits, then.size()) == then;
}

// The kind of a sub-signature this engine cannot evaluate, or nullptr.
const char* UnreadKind(std::string_view sub)
{
    if (sub.substr(0, 2) == "${")
        return "ldb with macros";
    if (StartsWithDigitsThen(sub, "(>>") || StartsWithDigitsThen(sub, "(<<"))
        return "ldb with byte comparisons";
    if (sub.find('/') != std::string_view::npos)
        return "ldb with PCRE";
    if (sub.substr(0, 3) == "VI:")
        return "ldb with version information";
    return nullptr;
}

// One sub-signature into its bodies; why says what is wrong.
bool ReadSub(std::string_view text, unsigned target, std::uint32_t number, std::vector<BodySignature>& bodies,
             std::string& why)
{
    bool noCase = false, wide = false, ascii = false, fullWord = false;
    const std::size_t modifiers = text.find("::");
    if (modifiers != std::string_view::npos) {
        for (char c : text.substr(modifiers + 2)) {
            bool& flag = c == 'i' ? noCase : c == 'w' ? wide : c == 'a' ? ascii : fullWord;
            if (c != 'i' && c != 'w' && c != 'a' && c != 'f') {
                why = "an unknown sub-signature modifier";
                return false;
            }
            flag = true;
        }
        text = text.substr(0, modifiers);
    }
    const std::size_t colon = text.find(':');
    const std::string_view offset = colon == std::string_view::npos ? "*" : text.substr(0, colon);
    const std::string_view hex = colon == std::string_view::npos ? text : text.substr(colon + 1);
    // A sub-signature is an .ndb body without its name and target: read it as one.
    const bool wanted[2] = {ascii || !wide, wide};
    const std::string forms[2] = {std::string(hex), wide ? Widened(hex) : std::string()};
    for (int i = 0; i < 2; ++i) {
        if (!wanted[i])
            continue;
        const std::string& form = forms[i];
        const std::string line = "s:" + std::to_string(target) + ":" + std::string(offset) + ":" + form;
        BodyLine parsed = BodySignatureParser::ParseLine(line, true);
        if (parsed.status != LineStatus::Signature) {
            why = parsed.why != nullptr ? parsed.why : "a sub-signature that is not a body pattern";
            return false;
        }
        BodySignature body = std::move(parsed.signature);
        body.name = {};
        if (noCase)
            if (const char* folded = FoldCase(body.pattern)) {
                why = folded;
                return false;
            }
        if (fullWord && body.pattern.parts.size() != 1) {
            why = "a whole-word sub-signature with an unbounded gap";
            return false;
        }
        body.sub = number;
        body.noCase = noCase;
        body.fullWord = fullWord;
        bodies.push_back(std::move(body));
    }
    return true;
}

} // namespace

LogicalLine LogicalSignatureParser::ParseLine(std::string_view line)
{
    LogicalLine result;
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (SignatureParser::IsBlank(line)) {
        result.status = LineStatus::Blank;
        return result;
    }
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t semicolon = line.find(';', start);
        fields.push_back(line.substr(start, semicolon == std::string_view::npos ? semicolon : semicolon - start));
        if (semicolon == std::string_view::npos)
            break;
        if (fields.size() > 3 + LogicalExpression::kMaxSubSignatures) {
            result.why = "more sub-signatures than a signature can have";
            return result;
        }
        start = semicolon + 1;
    }
    // A line may end with a ';' of its own.
    if (fields.size() > 4 && fields.back().empty())
        fields.pop_back();
    if (fields.size() < 4 || fields[0].empty()) {
        result.why = "too few fields or no name";
        return result;
    }
    LogicalSignature& signature = result.signature;
    signature.name = fields[0];
    switch (TargetDescription::Parse(fields[1], signature.target, result.why)) {
    case TargetDescription::Status::Ok:
        break;
    case TargetDescription::Status::Malformed:
        return result;
    case TargetDescription::Status::OtherLevel:
    case TargetDescription::Status::Unsupported:
        result.status = LineStatus::OtherLevel;
        return result;
    }
    if (const char* why = LogicalExpression::Parse(fields[2], signature.expression)) {
        result.why = why;
        return result;
    }
    signature.subCount = static_cast<std::uint32_t>(fields.size() - 3);
    if (signature.expression.HighestIndex() + 1 != signature.subCount) {
        result.why = "the expression names other sub-signatures than the line has";
        return result;
    }
    for (std::size_t i = 3; i < fields.size(); ++i)
        if (const char* kind = UnreadKind(fields[i])) {
            result.status = LineStatus::OtherLevel;
            result.why = kind;
            return result;
        }
    for (std::size_t i = 3; i < fields.size(); ++i)
        if (!ReadSub(fields[i], signature.target.target, static_cast<std::uint32_t>(i - 3), signature.bodies,
                     result.why)) {
            result.why = "sub-signature " + std::to_string(i - 3) + ": " + result.why;
            return result;
        }
    result.status = LineStatus::Signature;
    return result;
}

} // namespace Substitute
