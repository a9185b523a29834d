#include "substitute/SignatureParser.h"

#include "substitute/TextCompare.h"

namespace Substitute {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::string> DecodeHex(std::string_view hex)
{
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

bool IsDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 19)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = line.find(':', start);
        fields.push_back(line.substr(start, colon == std::string_view::npos ? colon : colon - start));
        if (colon == std::string_view::npos)
            return fields;
        start = colon + 1;
    }
}

std::optional<HashKind> KindOfHexLength(std::size_t length, SignatureFormat format)
{
    if (length == 32)
        return HashKind::Md5;
    if (format == SignatureFormat::Hsb && length == 40)
        return HashKind::Sha1;
    if (format == SignatureFormat::Hsb && length == 64)
        return HashKind::Sha256;
    return std::nullopt;
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view suffix)
{
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

} // namespace

std::optional<SignatureFormat> SignatureParser::FormatOfFileName(std::wstring_view fileName)
{
    if (EndsWithNoCase(fileName, L".hdb"))
        return SignatureFormat::Hdb;
    if (EndsWithNoCase(fileName, L".hsb"))
        return SignatureFormat::Hsb;
    return std::nullopt;
}

std::optional<HashSignature> SignatureParser::ParseLine(std::string_view line, SignatureFormat format)
{
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 3 || fields.size() > 5)
        return std::nullopt;
    for (std::size_t i = 3; i < fields.size(); ++i)
        if (!IsDecimal(fields[i]))
            return std::nullopt;

    HashSignature signature;
    const std::optional<HashKind> kind = KindOfHexLength(fields[0].size(), format);
    if (!kind)
        return std::nullopt;
    signature.kind = *kind;
    std::optional<std::string> digest = DecodeHex(fields[0]);
    if (!digest)
        return std::nullopt;
    signature.digest = std::move(*digest);

    if (fields[1] == "*") {
        signature.anySize = true;
    } else if (IsDecimal(fields[1])) {
        signature.size = std::stoull(std::string(fields[1]));
    } else {
        return std::nullopt;
    }

    const std::string_view name = fields[2];
    if (name.empty())
        return std::nullopt;
    // Names are ASCII by convention; any other byte is kept as its Latin-1 unit.
    for (char c : name) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return std::nullopt;
        signature.name.push_back(static_cast<wchar_t>(byte));
    }
    return signature;
}

ParseCounts SignatureParser::ParseText(std::string_view text, SignatureFormat format, std::vector<HashSignature>& out)
{
    ParseCounts counts;
    std::size_t start = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0; // UTF-8 byte order mark
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        if (std::optional<HashSignature> signature = ParseLine(line, format)) {
            out.push_back(std::move(*signature));
            ++counts.added;
        } else {
            ++counts.malformed;
        }
    }
    return counts;
}

} // namespace Substitute
