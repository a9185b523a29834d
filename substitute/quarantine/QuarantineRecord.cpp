#include "substitute/quarantine/QuarantineRecord.h"

namespace Substitute {

namespace {

constexpr char kMagic[4] = {'K', 'V', 'Q', '2'};
constexpr char kFirstMagic[4] = {'K', 'V', 'Q', '1'};
constexpr std::uint32_t kMaxTextUnits = 32768;
constexpr std::uint8_t kFlipKey[8] = {0xA5, 0x3C, 0x96, 0x5A, 0xC3, 0x69, 0x0F, 0xF0};

void PutNumber(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

void PutText(std::string& out, const std::wstring& text)
{
    PutNumber(out, text.size(), 4);
    for (wchar_t unit : text)
        PutNumber(out, static_cast<std::uint16_t>(unit), 2);
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool Number(std::uint64_t& value, int bytes)
    {
        if (bytes_.size() - position_ < static_cast<std::size_t>(bytes))
            return false;
        value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(bytes_[position_ + i])) << (8 * i);
        position_ += bytes;
        return true;
    }
    bool Text(std::wstring& text)
    {
        std::uint64_t count = 0;
        if (!Number(count, 4) || count > kMaxTextUnits || bytes_.size() - position_ < count * 2)
            return false;
        text.resize(static_cast<std::size_t>(count));
        for (wchar_t& unit : text) {
            std::uint64_t value = 0;
            Number(value, 2);
            unit = static_cast<wchar_t>(value);
        }
        return true;
    }
    std::size_t Position() const { return position_; }

private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

} // namespace

std::string QuarantineRecord::EncodeHeader() const
{
    std::string out = layout == 1 ? std::string(kFirstMagic, sizeof kFirstMagic) : std::string(kMagic, sizeof kMagic);
    out.append(reinterpret_cast<const char*>(md5.data()), md5.size());
    PutNumber(out, size, 8);
    PutNumber(out, time, 8);
    PutText(out, threatName);
    PutText(out, originalPath);
    if (layout != 1) {
        PutNumber(out, created, 8);
        PutNumber(out, written, 8);
    }
    return out;
}

std::optional<std::pair<QuarantineRecord, std::size_t>> QuarantineRecord::DecodeHeader(std::string_view bytes)
{
    if (bytes.size() < sizeof kMagic)
        return std::nullopt;
    const bool first = bytes.compare(0, sizeof kFirstMagic, std::string_view(kFirstMagic, sizeof kFirstMagic)) == 0;
    if (!first && bytes.compare(0, sizeof kMagic, std::string_view(kMagic, sizeof kMagic)) != 0)
        return std::nullopt;
    Reader reader(bytes.substr(sizeof kMagic));
    QuarantineRecord record;
    record.layout = first ? 1 : 2;
    for (std::uint8_t& byte : record.md5) {
        std::uint64_t value = 0;
        if (!reader.Number(value, 1))
            return std::nullopt;
        byte = static_cast<std::uint8_t>(value);
    }
    if (!reader.Number(record.size, 8) || !reader.Number(record.time, 8) || !reader.Text(record.threatName) ||
        !reader.Text(record.originalPath))
        return std::nullopt;
    if (!first && (!reader.Number(record.created, 8) || !reader.Number(record.written, 8)))
        return std::nullopt;
    return std::make_pair(std::move(record), sizeof kMagic + reader.Position());
}

void QuarantineRecord::Flip(std::uint8_t* data, std::size_t size, std::uint64_t offset)
{
    for (std::size_t i = 0; i < size; ++i)
        data[i] ^= kFlipKey[(offset + i) % sizeof kFlipKey];
}

} // namespace Substitute
