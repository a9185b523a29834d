#include "substitute/text/TextType.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "substitute/text/MarkupMarkers.h"

namespace Substitute {

namespace {

using namespace std::string_view_literals;

// The kinds clamscan knows by their first bytes (at an offset for a few).
struct Magic {
    std::size_t offset;
    std::string_view bytes;
};
constexpr Magic kMagics[] = {
    {0, "\x00\x00\x00\x0c\x6a\x50\x20\x20\x0d\x0a\x87\x0a"sv},
    {0, "\x00\x00\x01\xb3"sv},
    {0, "\x00\x00\x01\xba"sv},
    {0, "\x1f\x8b"sv},
    {0, "#@~^"sv},
    {0, "%!PS-Adobe-"sv},
    {0, "(This file must be converted with BinHex 4.0)"sv},
    {0, ".RMF"sv},
    {0, ">From "sv},
    {0, "BM"sv},
    {0, "BZh"sv},
    {0, "Date: "sv},
    {0, "Delivered-To: "sv},
    {0, "Delivery-date: "sv},
    {0, "Envelope-to: "sv},
    {0, "For: "sv},
    {0, "From "sv},
    {0, "From: "sv},
    {0, "GIF"sv},
    {0, "Hi. This is the qmail-send"sv},
    {0, "ID3"sv},
    {0, "ITSF"sv},
    {0, "MZ"sv},
    {0, "Message-ID: "sv},
    {0, "Message-Id: "sv},
    {0, "OggS"sv},
    {0, "PK\x03\x04"sv},
    {0, "PK00PK\x03\x04"sv},
    {0, "RIFF"sv},
    {0, "RIFX"sv},
    {0, "Rar!"sv},
    {0, "Received: "sv},
    {0, "Return-Path: "sv},
    {0, "Return-path: "sv},
    {0, "SZDD"sv},
    {0, "Subject: "sv},
    {0, "To: "sv},
    {0, "X-Apparently-To: "sv},
    {0, "X-EVS"sv},
    {0, "X-Envelope-From: "sv},
    {0, "X-Original-To: "sv},
    {0, "X-Real-To: "sv},
    {0, "X-Sieve: "sv},
    {0, "X-Symantec-"sv},
    {0, "X-UIDL: "sv},
    {0, "\x60\xea"sv},
    {0, "begin "sv},
    {0, "v:\nReceived: "sv},
    {0, "v:\r\nReceived: "sv},
    {0, "\x78\x9f\x3e\x22"sv},
    {0, "\x7f"
        "ELF"sv},
    {0, "\x89PNG"sv},
    {0, "\xb6\xb9\xac\xae\xfe\xff\xff\xff"sv},
    {0, "\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"sv},
    {0, "\xff\xd8\xff"sv},
    {0, "\xff\xfb\x90"sv},
    {0, "SIP-HIT (SIP/H"sv},
    {0, "{\\rt"sv},
    {257, "ustar"sv},
    {0, "[aliases]"sv},
    {0, "\xce\xfa\xed\xfe"sv},
    {0, "\xcf\xfa\xed\xfe"sv},
    {0, "\xfe\xed\xfa\xce"sv},
    {0, "\xfe\xed\xfa\xcf"sv},
    {0, "7z\xbc\xaf\x27\x1c"sv},
    {0, "Received-SPF: "sv},
    {0, "070701"sv},
    {0, "070702"sv},
    {0, "070707"sv},
    {0, "\x71\xc7"sv},
    {0, "\xc7\x71"sv},
    {0, "%PDF-"sv},
    {0, "SYMC\x01\x00"sv},
    {0, "\x37\x7f\x06\x82\x00\x2d\xe2\x18"sv},
    {0, "\x37\x7f\x06\x83\x00\x2d\xe2\x18"sv},
    {0, "SQLite format 3\x00"sv},
    {0, "\xd9\xd5\x05\xf9\x20\xa1\x63\xd7"sv},
    {0, "ZWS"sv},
    {0, "CWS"sv},
    {0, "FWS"sv},
    {0, "MSCF\x00\x00\x00\x00"sv},
    {0, "xar!"sv},
    {0, "\xfd"
        "7zXZ\x00"sv},
    {512, "EFI PART"sv},
    {0, "{ \"Magic\": \"CLAMJSONv0\""sv},
    {0, "II*\x00"sv},
    {0, "MM"sv},
    {4, "\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"sv},
    {0, "HWP Document File V3.00 \x1a\x01\x02\x03\x04\x05"sv},
    {0, "L\x00\x00\x00\x01\x14\x02\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46"sv},
    {0, "EGGA"sv},
};

// Two pieces of text with minGap to maxGap bytes between them (kAnyGap:
// any), the first starting from firstFrom to firstTo bytes from the start
// (kAnywhere: anywhere). In a piece '^' before a letter takes it in either
// case, '?' any byte.
constexpr std::size_t kAnywhere = ~std::size_t{0};
constexpr std::size_t kAnyGap = ~std::size_t{0};
struct Marker {
    std::size_t firstFrom, firstTo;
    std::string_view first;
    std::size_t minGap, maxGap;
    std::string_view second;
};
constexpr std::string_view kXml = "<?xml version=\"1.0\"";
// The markers in the first KiB that make a text something else: mail,
// MIME, PDF, an executable, an office document, a disk image.
constexpr Marker kMarkers[] = {
    {0, 0, "<%@ LANGUAGE =", 0, 0, ""},
    {0, 0, kXml, 0, kAnyGap, "<wordDocument"},
    {0, 0, kXml, 0, kAnyGap, "<?:wordDocument"},
    {0, 0, kXml, 0, kAnyGap, "progid=\"Word.Document\"?>"},
    {0, 0, kXml, 0, kAnyGap, "<Workbook"},
    {0, 0, kXml, 0, kAnyGap, "<?:Workbook"},
    {0, 0, "\xef\xbb\xbf<?xml version=\"1.0\"", 0, kAnyGap, "<HWPML"},
    {0, 0, "^m^i^m^e-^version: ", 0, 1024, "\n^content-^type: "},
    {0, kAnywhere, "\n^m^i^m^e-^version: ", 0, 1024, "\n^content-^type: "},
    {0, 0, "ER", 510, 510, "PM\x00\x00"sv},
    {0, 1024, "\n^from: ", 0, 1024, "\n^m^i^m^e-^version: "},
    {0, 1024, "\n^from: ", 0, 2048, "\n^content-^type: "},
    {0, 1024, "\n^m^i^m^e-^version: ", 0, 2048, "\n^content-^type: "},
    {0, 1024, "\n^message-^id: ", 0, 1024, "\n^content-^type: "},
    {0, 1024, "Delivered-To:", 0, 256, "Received:"},
    {0, 2048, "\n^received: ", 0, 2048, "\n^content-^type: "},
    {0, kAnywhere, "MZ", 60, 300, "PE\x00\x00"sv},
    {0, kAnywhere, "%PDF-?.", 0, 0, ""},
    {0, kAnywhere, "%pdf-?.", 0, 0, ""},
    {0, kAnywhere, "<xdp:xdp", 0, 0, ""},
    {510, 510, "U\xaa", 0, 0, ""},
};

// Bytes that never occur in text: most control bytes and DEL.
bool Binary(std::uint8_t c)
{
    return c < 0x07 || c == 0x0b || (c >= 0x0e && c < 0x20 && c != 0x1b) || c == 0x7f;
}

// The length of piece when bytes[at, size) start with it, else 0.
std::size_t Piece(const std::uint8_t* bytes, std::size_t size, std::size_t at, std::string_view piece)
{
    std::size_t length = 0;
    for (std::size_t i = 0; i < piece.size(); ++i, ++length) {
        if (at + length >= size)
            return 0;
        const std::uint8_t c = bytes[at + length];
        if (piece[i] == '^') {
            if ((c | 0x20) != static_cast<std::uint8_t>(piece[++i]))
                return 0;
        } else if (piece[i] != '?' && c != static_cast<std::uint8_t>(piece[i])) {
            return 0;
        }
    }
    return length;
}

bool Holds(const std::uint8_t* bytes, std::size_t size, const Marker& marker)
{
    const std::size_t lastStart = marker.firstTo == kAnywhere ? size : std::min(size, marker.firstTo + 1);
    for (std::size_t at = marker.firstFrom; at < lastStart; ++at) {
        const std::size_t first = Piece(bytes, size, at, marker.first);
        if (first == 0)
            continue;
        if (marker.second.empty())
            return true;
        const std::size_t from = at + first + marker.minGap;
        const std::size_t to = marker.maxGap == kAnyGap ? size : std::min(size, at + first + marker.maxGap + 1);
        for (std::size_t next = from; next < to; ++next)
            if (Piece(bytes, size, next, marker.second) != 0)
                return true;
    }
    return false;
}

bool Utf16(const std::uint8_t* head, std::size_t size)
{
    if (size < 2)
        return false;
    const bool littleMark = head[0] == 0xFF && head[1] == 0xFE;
    const bool marked = littleMark || (head[0] == 0xFE && head[1] == 0xFF);
    std::size_t bad = 0;
    // clamscan starts at the second unit, marked or not.
    for (std::size_t i = 2; i + 1 < size; i += 2) {
        const unsigned unit = littleMark ? head[i] | head[i + 1] << 8 : head[i] << 8 | head[i + 1];
        if (unit == 0xFFFE)
            return false;
        if (unit < 0x80 && Binary(static_cast<std::uint8_t>(unit))) {
            if (!marked)
                return false;
            ++bad;
        }
    }
    return !marked || bad < size / 2;
}

// Markup in UTF-16 text, read as clamscan reads it: each unit folded into a
// byte (the first byte plus the second shifted by four), and for a text
// marked big-endian each unit below 0x100 as that byte.
bool WideMarkup(const std::uint8_t* head, std::size_t size)
{
    std::vector<std::uint8_t> folded, big;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        folded.push_back(static_cast<std::uint8_t>(head[i] + (head[i + 1] << 4)));
        if (i != 0 && head[0] == 0xFE && head[1] == 0xFF && head[i] == 0)
            big.push_back(head[i + 1]);
    }
    return MarkupMarkers::In(folded.data(), folded.size()) || MarkupMarkers::In(big.data(), big.size());
}

} // namespace

TextKind TextType::Of(const std::uint8_t* head, std::size_t size)
{
    for (const Magic& magic : kMagics)
        if (size >= magic.offset + magic.bytes.size() &&
            std::memcmp(head + magic.offset, magic.bytes.data(), magic.bytes.size()) == 0)
            return TextKind::None;
    const TextKind kind = std::none_of(head, head + size, Binary) ? TextKind::Plain
                          : Utf16(head, size)                     ? TextKind::Utf16
                                                                  : TextKind::None;
    if (kind == TextKind::None || MarkupMarkers::In(head, size))
        return TextKind::None;
    for (const Marker& marker : kMarkers)
        if (Holds(head, size, marker))
            return TextKind::None;
    if (kind == TextKind::Utf16 && WideMarkup(head, size))
        return TextKind::None;
    return kind;
}

} // namespace Substitute
