#include "substitute/database/GcryptContainerChecks.h"

#include <array>
#include <cstdint>

#include "substitute/hash/DigestSignature.h"
#include "substitute/hash/GcryptHasher.h"

namespace Substitute {

namespace {

// One running digest of one kind.
class GcryptDigest final : public ContainerChecks::Digest {
public:
    explicit GcryptDigest(HashKind kind) : kind_(kind)
    {
        std::array<bool, kHashKindCount> wanted{};
        wanted[static_cast<std::size_t>(kind)] = true;
        ok_ = hasher_.Begin(wanted);
    }
    void Add(std::string_view bytes) override
    {
        ok_ = ok_ && hasher_.Update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    // Nothing that matches a digest when libgcrypt failed.
    std::string Hex() override
    {
        if (!ok_ || !hasher_.Finish())
            return "(no digest)";
        return LowerHex(hasher_.Digest(kind_), DigestBytes(kind_));
    }

private:
    const HashKind kind_;
    GcryptHasher hasher_;
    bool ok_ = false;
};

} // namespace

ContainerChecks GcryptContainerChecks()
{
    ContainerChecks checks;
    checks.md5 = [] { return std::make_unique<GcryptDigest>(HashKind::Md5); };
    checks.sha256 = [] { return std::make_unique<GcryptDigest>(HashKind::Sha256); };
    checks.signsDigest = DigestSignature::Signs;
    return checks;
}

} // namespace Substitute
