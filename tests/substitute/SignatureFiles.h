#pragma once
// Signature files and archives as the tests need them: tar archives, gzip
// streams, zips, container headers and PE images, built in memory.
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

// Deflated bytes: a gzip stream, or with raw a zip entry's data.
inline std::string Deflate(const std::string& bytes, bool raw = false)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, raw ? -MAX_WBITS : 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
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

inline std::string Gzip(const std::string& bytes)
{
    return Deflate(bytes);
}

// A zip of (name, bytes), deflated or stored, with its central directory.
inline std::string Zip(const std::vector<std::pair<std::string, std::string>>& entries, bool deflated = true)
{
    const auto le = [](std::uint32_t value, int width) {
        std::string bytes;
        for (int i = 0; i < width; ++i)
            bytes.push_back(static_cast<char>(value >> (8 * i)));
        return bytes;
    };
    std::string archive, directory;
    for (const auto& [name, data] : entries) {
        const std::string packed = deflated ? Deflate(data, true) : data;
        const std::uint32_t crc =
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
        const std::string common = le(20, 2) + le(0, 2) + le(deflated ? 8 : 0, 2) + le(0, 4) + le(crc, 4) +
                                   le(static_cast<std::uint32_t>(packed.size()), 4) +
                                   le(static_cast<std::uint32_t>(data.size()), 4) +
                                   le(static_cast<std::uint32_t>(name.size()), 2) + le(0, 2);
        directory += "PK\x01\x02" + le(20, 2) + common + le(0, 2) + le(0, 2) + le(0, 2) + le(0, 4) +
                     le(static_cast<std::uint32_t>(archive.size()), 4) + name;
        archive += "PK\x03\x04" + common + name + packed;
    }
    const auto count = static_cast<std::uint32_t>(entries.size());
    return archive + directory + "PK\x05\x06" + le(0, 4) + le(count, 2) + le(count, 2) +
           le(static_cast<std::uint32_t>(directory.size()), 4) + le(static_cast<std::uint32_t>(archive.size()), 4) +
           le(0, 2);
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
