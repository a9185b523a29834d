// The two hash libraries the engine can use give the same digests.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "substitute/hash/CngHasher.h"
#include "substitute/hash/GcryptHasher.h"

using namespace Substitute;

TEST(Hashers, LibgcryptAndCngAgreeOnRandomInputsOfRandomLengths)
{
    std::mt19937 random(20261207);
    CngHasher cng;
    GcryptHasher gcrypt;
    for (int round = 0; round < 200; ++round) {
        // Lengths around the block sizes matter most; some inputs come in several pieces.
        const std::size_t length = round < 130 ? static_cast<std::size_t>(round) : random() % (3u << 20);
        std::vector<std::uint8_t> bytes(length);
        for (std::uint8_t& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        const std::array<bool, kHashKindCount> wanted = {true, (round & 1) != 0, (round & 2) != 0};
        ASSERT_TRUE(cng.Begin(wanted));
        ASSERT_TRUE(gcrypt.Begin(wanted));
        for (std::size_t at = 0; at < length;) {
            const std::size_t piece = std::min<std::size_t>(length - at, 1 + random() % (length / 2 + 64));
            ASSERT_TRUE(cng.Update(bytes.data() + at, piece));
            ASSERT_TRUE(gcrypt.Update(bytes.data() + at, piece));
            at += piece;
        }
        ASSERT_TRUE(cng.Finish());
        ASSERT_TRUE(gcrypt.Finish());
        for (HashKind kind : {HashKind::Md5, HashKind::Sha1, HashKind::Sha256}) {
            if (wanted[static_cast<std::size_t>(kind)]) {
                EXPECT_EQ(0, std::memcmp(cng.Digest(kind), gcrypt.Digest(kind), DigestBytes(kind)))
                    << "length " << length << " kind " << static_cast<int>(kind);
            }
        }
    }
}
