#pragma once
// The digital signature in a ClamAV container's header: the builder's RSA
// signature (1024-bit key) of the MD5 of the container's contents, written
// as text of 6-bit digits, least significant first. Checked with the public
// key ClamAV publishes, as clamscan checks it.

#include <string_view>

namespace Substitute {

class DigestSignature {
public:
    // Whether dsig, raised to the key's exponent modulo its modulus, is the
    // MD5 given in lowercase hex.
    static bool Signs(std::string_view md5Hex, std::string_view dsig);
};

} // namespace Substitute
