#include "substitute/signature/SignatureParser.h"

#include <array>
#include <cctype>
#include <cstdint>

namespace Substitute {

namespace {

constexpr std::size_t kMaxFields = 5;
// Sizes are kept in 32 bits; a listed size of 4 GiB or more is refused.
constexpr std::uint64_t kMaxListedSize = 0xFFFFFFFFull;

struct FormatInfo {
    const char* name;
    HashTable table;
    bool sizeFirst; // SIZE:HASH:NAME rather than HASH:SIZE:NAME
};

constexpr FormatInfo kFormats[kSignatureFormatCount] = {
    {"hdb", HashTable::File, false},   {"hsb", HashTable::File, false},   {"mdb", HashTable::Section, true},
    {"msb", HashTable::Section, true}, {"fp", HashTable::Allowed, false}, {"sfp", HashTable::Allowed, false},
    {"ign2", HashTable::File, false},  {"ndb", HashTable::File, false},
    {"ldb", HashTable::File, false},
};

// Millions of digests are decoded per load: by table, not by branches.
struct HexTable {
    std::int8_t value[256];
    constexpr HexTable() : value()
    {
        for (int c = 0; c < 256; ++c)
            value[c] = c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
    }
};
constexpr HexTable kHex;

int HexValue(char c)
{
    return kHex.value[static_cast<unsigned char>(c)];
}

bool DecodeHex(std::string_view hex, std::uint8_t* out)
{
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i / 2] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

std::optional<std::uint64_t> Decimal(std::string_view text)
{
    if (text.empty() || text.size() > 19)
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

// Splits at ':'; false when there are more than kMaxFields fields.
bool SplitFields(std::string_view line, std::array<std::string_view, kMaxFields>& fields, std::size_t& count)
{
    count = 0;
    std::size_t start = 0;
    for (;;) {
        if (count == kMaxFields)
            return false;
        const std::size_t colon = line.find(':', start);
        fields[count++] = line.substr(start, colon == std::string_view::npos ? colon : colon - start);
        if (colon == std::string_view::npos)
            return true;
        start = colon + 1;
    }
}

std::optional<HashKind> KindOfHexLength(std::size_t length)
{
    if (length == 32)
        return HashKind::Md5;
    if (length == 40)
        return HashKind::Sha1;
    if (length == 64)
        return HashKind::Sha256;
    return std::nullopt;
}

// Names are ASCII by convention; control bytes never belong in one.
bool IsName(std::string_view name)
{
    if (name.empty())
        return false;
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
    }
    return true;
}

template <typename Char>
std::optional<SignatureFormat> FormatOfExtension(std::basic_string_view<Char> fileName)
{
    const std::size_t dot = fileName.find_last_of(Char('.'));
    if (dot == std::basic_string_view<Char>::npos || fileName.size() - dot - 1 > 4)
        return std::nullopt;
    char extension[5] = {};
    for (std::size_t i = dot + 1; i < fileName.size(); ++i) {
        const Char c = fileName[i];
        if (c > 0x7F)
            return std::nullopt;
        extension[i - dot - 1] = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (std::size_t i = 0; i < kSignatureFormatCount; ++i)
        if (std::string_view(extension) == kFormats[i].name)
            return static_cast<SignatureFormat>(i);
    return std::nullopt;
}

std::string_view TrimEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

ParsedLine Status(LineStatus status)
{
    ParsedLine parsed;
    parsed.status = status;
    return parsed;
}

ParsedLine ParseIgnoreLine(std::string_view line)
{
    std::array<std::string_view, kMaxFields> fields;
    std::size_t count = 0;
    if (!SplitFields(line, fields, count) || count > 2 || !IsName(fields[0]))
        return Status(LineStatus::Malformed);
    std::array<std::uint8_t, 16> digest{};
    if (count == 2 && (fields[1].size() != 32 || !DecodeHex(fields[1], digest.data())))
        return Status(LineStatus::Malformed);
    ParsedLine parsed = Status(LineStatus::IgnoredName);
    parsed.ignoredName = fields[0];
    if (count == 2)
        parsed.ignoredLine = digest;
    return parsed;
}

} // namespace

std::optional<SignatureFormat> SignatureParser::FormatOfFileName(std::string_view fileName)
{
    return FormatOfExtension(fileName);
}

std::optional<SignatureFormat> SignatureParser::FormatOfFileName(std::wstring_view fileName)
{
    return FormatOfExtension(fileName);
}

const char* SignatureParser::FormatName(SignatureFormat format)
{
    return kFormats[static_cast<std::size_t>(format)].name;
}

bool SignatureParser::IsBlank(std::string_view line)
{
    line = TrimEnd(line);
    return line.empty() || line.front() == '#';
}

ParsedLine SignatureParser::ParseLine(std::string_view line, SignatureFormat format)
{
    if (IsBlank(line))
        return Status(LineStatus::Blank);
    line = TrimEnd(line);
    if (format == SignatureFormat::Ign2)
        return ParseIgnoreLine(line);
    if (format == SignatureFormat::Ndb || format == SignatureFormat::Ldb)
        return Status(LineStatus::Malformed); // not a hash line

    const FormatInfo& info = kFormats[static_cast<std::size_t>(format)];
    std::array<std::string_view, kMaxFields> fields;
    std::size_t count = 0;
    if (!SplitFields(line, fields, count) || count < 3)
        return Status(LineStatus::Malformed);
    const std::string_view hash = info.sizeFirst ? fields[1] : fields[0];
    const std::string_view size = info.sizeFirst ? fields[0] : fields[1];

    // The levels first: a line for another engine is skipped whatever else it holds.
    std::optional<std::uint64_t> lowest, highest;
    if (count > 3 && !(lowest = Decimal(fields[3])))
        return Status(LineStatus::Malformed);
    if (count > 4 && !(highest = Decimal(fields[4])))
        return Status(LineStatus::Malformed);
    if ((lowest && *lowest > kFunctionalityLevel) || (highest && *highest < kFunctionalityLevel))
        return Status(LineStatus::OtherLevel);

    ParsedLine parsed = Status(LineStatus::Signature);
    HashSignature& signature = parsed.signature;
    signature.table = info.table;
    const std::optional<HashKind> kind = KindOfHexLength(hash.size());
    if (!kind || !DecodeHex(hash, signature.digest.data()))
        return Status(LineStatus::Malformed);
    signature.kind = *kind;
    if (size == "*") {
        signature.anySize = true;
    } else if (const std::optional<std::uint64_t> value = Decimal(size); value && *value < kMaxListedSize) {
        signature.size = *value;
    } else {
        return Status(LineStatus::Malformed);
    }
    if (!IsName(fields[2]))
        return Status(LineStatus::Malformed);
    signature.name = fields[2];

    if (signature.anySize && (!lowest || *lowest < kAnySizeLevel))
        return Status(LineStatus::Malformed);
    return parsed;
}

} // namespace Substitute
