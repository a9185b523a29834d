#include "substitute/hash/DigestSignature.h"

#include <gcrypt.h>

#include <array>
#include <cstring>
#include <string>

#include "substitute/hash/GcryptHasher.h"
#include "substitute/signature/HashSignature.h"

namespace Substitute {

namespace {

// The key that signs ClamAV's containers, as ClamAV publishes it (decimal).
constexpr const char* kModulus =
    "1186409955516453426030700016584531897515277744120277437465994057432431426074641447673610606406558447"
    "4976078889002228342492276248891756555100246777110966959818941043469903453223222862159108950817859142"
    "8456220796841621637175567590476666928698770143328137383952820383197532047771780196576957695822641224"
    "262693037";
constexpr unsigned long kExponent = 100001027;

constexpr std::string_view kDigits = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+/";
// clamscan takes no longer signature text.
constexpr std::size_t kLongestSignature = 350;
constexpr std::size_t kMd5Bytes = 16;

// Owns one libgcrypt big number.
class Mpi {
public:
    Mpi() : value_(gcry_mpi_new(0)) {}
    ~Mpi() { gcry_mpi_release(value_); }
    Mpi(const Mpi&) = delete;
    Mpi& operator=(const Mpi&) = delete;
    gcry_mpi_t get() const { return value_; }

private:
    gcry_mpi_t value_;
};

} // namespace

bool DigestSignature::Signs(std::string_view md5Hex, std::string_view dsig)
{
    if (md5Hex.size() != 2 * kMd5Bytes || dsig.empty() || dsig.size() > kLongestSignature ||
        !GcryptHasher::LibraryReady())
        return false;
    Mpi modulus, signature, plain;
    for (const char* digit = kModulus; *digit != '\0'; ++digit) {
        gcry_mpi_mul_ui(modulus.get(), modulus.get(), 10);
        gcry_mpi_add_ui(modulus.get(), modulus.get(), static_cast<unsigned long>(*digit - '0'));
    }
    // The first digit is the least significant.
    for (auto c = dsig.rbegin(); c != dsig.rend(); ++c) {
        const std::size_t value = kDigits.find(*c);
        if (value == std::string_view::npos)
            return false;
        gcry_mpi_mul_ui(signature.get(), signature.get(), 64);
        gcry_mpi_add_ui(signature.get(), signature.get(), static_cast<unsigned long>(value));
    }
    Mpi exponent;
    gcry_mpi_set_ui(exponent.get(), kExponent);
    gcry_mpi_powm(plain.get(), signature.get(), exponent.get(), modulus.get());
    // The result's bytes, most significant first, stand at the start of the
    // 16 bytes of the digest; a result that needs more is no signature.
    std::array<std::uint8_t, kMd5Bytes> bytes{};
    size_t written = 0;
    if (gcry_mpi_cmp_ui(plain.get(), 0) == 0 ||
        gcry_mpi_print(GCRYMPI_FMT_USG, bytes.data(), bytes.size(), &written, plain.get()) != 0)
        return false;
    return LowerHex(bytes.data(), bytes.size()) == md5Hex;
}

} // namespace Substitute
