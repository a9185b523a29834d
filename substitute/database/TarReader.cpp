#include "substitute/database/TarReader.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace Substitute {

namespace {

constexpr std::size_t kBlock = 512;

// An octal field, NUL- or space-terminated.
std::optional<std::uint64_t> Octal(const char* field, std::size_t size)
{
    std::size_t i = 0;
    while (i < size && field[i] == ' ')
        ++i;
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < size && field[i] >= '0' && field[i] <= '7'; ++i, ++digits) {
        if (digits == 21)
            return std::nullopt;
        value = value * 8 + static_cast<unsigned>(field[i] - '0');
    }
    for (; i < size; ++i)
        if (field[i] != ' ' && field[i] != '\0')
            return std::nullopt;
    if (digits == 0)
        return std::nullopt;
    return value;
}

std::string_view Field(const char* field, std::size_t size)
{
    return std::string_view(field, strnlen(field, size));
}

bool ClimbsOut(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.front() == '\\' || name.find(':') != std::string_view::npos)
        return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

void TarReader::Fail(const char* why)
{
    state_ = State::Broken;
    why_ = why;
}

void TarReader::ReadHeader()
{
    if (std::all_of(header_, header_ + kBlock, [](char c) { return c == '\0'; })) {
        // Two zero blocks end the archive; one alone is tolerated.
        if (++zeroBlocks_ == 2)
            state_ = State::Finished;
        return;
    }
    zeroBlocks_ = 0;
    unsigned sum = 0;
    for (std::size_t i = 0; i < kBlock; ++i)
        sum += (i >= 148 && i < 156) ? ' ' : static_cast<unsigned char>(header_[i]);
    const std::optional<std::uint64_t> checksum = Octal(header_ + 148, 8);
    if (!checksum || *checksum != sum)
        return Fail("bad member header checksum");
    const std::optional<std::uint64_t> size = Octal(header_ + 124, 12);
    if (!size)
        return Fail("bad member size");

    std::string name;
    if (std::memcmp(header_ + 257, "ustar", 5) == 0) {
        const std::string_view prefix = Field(header_ + 345, 155);
        if (!prefix.empty())
            name.append(prefix).append("/");
    }
    name.append(Field(header_ + 0, 100));
    const char type = header_[156];
    deliver_ = false;
    if (type != '0' && type != '\0')
        consumer_.Rejected(name, "not a regular file");
    else if (ClimbsOut(name))
        consumer_.Rejected(name, "name leaves the folder");
    else
        deliver_ = true;
    if (deliver_)
        consumer_.BeginMember(name);
    memberSize_ = *size;
    remaining_ = *size;
    state_ = State::Data;
    if (remaining_ == 0)
        EndData();
}

void TarReader::EndData()
{
    if (deliver_)
        consumer_.EndMember();
    deliver_ = false;
    // Members fill whole blocks.
    remaining_ = (kBlock - memberSize_ % kBlock) % kBlock;
    state_ = remaining_ == 0 ? State::Header : State::Padding;
}

bool TarReader::Feed(std::string_view bytes)
{
    while (!bytes.empty()) {
        switch (state_) {
        case State::Header: {
            const std::size_t take = std::min(bytes.size(), kBlock - headerUsed_);
            std::memcpy(header_ + headerUsed_, bytes.data(), take);
            headerUsed_ += take;
            bytes.remove_prefix(take);
            if (headerUsed_ == kBlock) {
                headerUsed_ = 0;
                ReadHeader();
            }
            break;
        }
        case State::Data: {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), remaining_));
            if (deliver_)
                consumer_.MemberData(bytes.substr(0, take));
            bytes.remove_prefix(take);
            remaining_ -= take;
            if (remaining_ == 0)
                EndData();
            break;
        }
        case State::Padding: {
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), remaining_));
            bytes.remove_prefix(take);
            remaining_ -= take;
            if (remaining_ == 0)
                state_ = State::Header;
            break;
        }
        case State::Finished:
            return true; // what follows the end blocks is not read
        case State::Broken:
            return false;
        }
    }
    return state_ != State::Broken;
}

bool TarReader::End() const
{
    return (state_ == State::Header && headerUsed_ == 0) || state_ == State::Finished;
}

} // namespace Substitute
