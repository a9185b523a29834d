#pragma once
// What a .cvd or .cld container must show before its signatures are trusted,
// checked as clamscan checks it: a .cvd's header carries the MD5 of the bytes
// after it and the builder's signature of that MD5; every container holds a
// ".info" member that lists each database member with its size and SHA-256,
// and a .cld's list carries a signature line of its own. The digests and the
// signature check come from outside, so that the reader that applies them
// stays free of any crypto library (it is also built natively and fuzzed).
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace Substitute {

struct ContainerChecks {
    // A digest over bytes added in pieces.
    class Digest {
    public:
        virtual ~Digest() = default;
        virtual void Add(std::string_view bytes) = 0;
        // Lowercase hex of everything added.
        virtual std::string Hex() = 0;
    };

    std::function<std::unique_ptr<Digest>()> md5;
    std::function<std::unique_ptr<Digest>()> sha256;
    // Whether dsig is the builder's signature of the MD5 given in hex.
    std::function<bool(std::string_view md5Hex, std::string_view dsig)> signsDigest;
};

} // namespace Substitute
