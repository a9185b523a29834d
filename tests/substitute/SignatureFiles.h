#pragma once
// Signature files as the tests need them: tar archives, gzip streams,
// container headers and PE images, built in memory.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace SignatureFiles {

inline std::string Unhex(const std::string& hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The checksum field of a tar header as it should read.
inline std::string Checksum(const std::string& header)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < 512; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(header[i]);
    char field[9];
    std::snprintf(field, sizeof field, "%06o", sum);
    return std::string(field, 6) + std::string("\0 ", 2);
}

inline std::string Tar(const std::vector<std::pair<std::string, std::string>>& members)
{
    std::string archive;
    for (const auto& [name, data] : members) {
        std::string header(512, '\0');
        header.replace(0, name.size(), name);
        char size[12];
        std::snprintf(size, sizeof size, "%011o", static_cast<unsigned>(data.size()));
        header.replace(124, 11, size);
        header[156] = '0';
        header.replace(257, 6, std::string("ustar\0", 6));
        header.replace(148, 8, Checksum(header));
        archive += header + data + std::string((512 - data.size() % 512) % 512, '\0');
    }
    return archive + std::string(1024, '\0');
}

inline std::string Gzip(const std::string& bytes)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

inline std::string Header(unsigned version, unsigned signatures)
{
    std::string header = "ClamAV-VDB:07 Dec 2026 12-00 +0000:" + std::to_string(version) + ":" +
                         std::to_string(signatures) + ":90:0123:sig:builder:1796644800";
    header.resize(512, ' ');
    return header;
}

// A 32-bit image whose section table lists (raw offset, raw size) pairs;
// its bytes stop at the end of the headers (0x200).
inline std::string Pe(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& sections)
{
    std::string image(0x200, '\0');
    auto put32 = [&](std::size_t at, std::uint32_t value) { std::memcpy(&image[at], &value, 4); };
    auto put16 = [&](std::size_t at, std::uint16_t value) { std::memcpy(&image[at], &value, 2); };
    image.replace(0, 2, "MZ");
    put32(0x3C, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    put16(0x44, 0x14C);
    put16(0x46, static_cast<std::uint16_t>(sections.size()));
    put16(0x54, 0xE0);
    const std::size_t table = 0x40 + 24 + 0xE0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        image.replace(table + 40 * i, 6, ".sect" + std::to_string(i % 10));
        put32(table + 40 * i + 16, sections[i].second);
        put32(table + 40 * i + 20, sections[i].first);
    }
    return image;
}

} // namespace SignatureFiles
