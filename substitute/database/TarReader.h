#pragma once
// Reads a tar stream as it arrives, in pieces of any size, and hands each
// regular member's bytes to a consumer as they come. Only plain members are
// read: a name that climbs out (".."), starts at a root or names a drive, or
// a member that is not a regular file, is passed over and counted. Sizes are
// never trusted: nothing is allocated by them, and a stream that ends inside
// a member is broken. Pure: no system calls.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Substitute {

class TarConsumer {
public:
    virtual ~TarConsumer() = default;
    virtual void BeginMember(std::string_view name) = 0;
    virtual void MemberData(std::string_view bytes) = 0;
    virtual void EndMember() = 0;
    // A member passed over, and why.
    virtual void Rejected(std::string_view name, const char* why) = 0;
};

class TarReader {
public:
    explicit TarReader(TarConsumer& consumer) : consumer_(consumer) {}

    // False once the stream is broken (a bad header); everything after is ignored.
    bool Feed(std::string_view bytes);
    // Whether the stream ended where a tar may end: between members.
    bool End() const;
    bool Broken() const { return state_ == State::Broken; }
    const char* Why() const { return why_; }

private:
    enum class State { Header, Data, Padding, Finished, Broken };

    void ReadHeader();
    void EndData();
    void Fail(const char* why);

    TarConsumer& consumer_;
    State state_ = State::Header;
    const char* why_ = "";
    char header_[512];
    std::size_t headerUsed_ = 0;
    std::uint64_t memberSize_ = 0;
    std::uint64_t remaining_ = 0; // of the member's data, then of its padding
    bool deliver_ = false;        // the member is handed to the consumer
    unsigned zeroBlocks_ = 0;
};

} // namespace Substitute
