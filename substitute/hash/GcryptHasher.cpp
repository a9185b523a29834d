#include "substitute/hash/GcryptHasher.h"

#include <gcrypt.h>

#include <cstring>

namespace Substitute {

namespace {

const int kAlgorithms[kHashKindCount] = {GCRY_MD_MD5, GCRY_MD_SHA1, GCRY_MD_SHA256};

gcry_md_hd_t Handle(void* handle)
{
    return static_cast<gcry_md_hd_t>(handle);
}

} // namespace

// The library wants its version checked once before any other call; a
// function-local static makes that once per process, whichever thread is first.
bool GcryptHasher::LibraryReady()
{
    static const bool ready = [] {
        if (gcry_check_version(GCRYPT_VERSION) == nullptr)
            return false;
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0); // hashes of files are no secrets
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    return ready;
}

GcryptHasher::GcryptHasher()
{
    LibraryReady();
}

GcryptHasher::~GcryptHasher()
{
    if (handle_ != nullptr)
        gcry_md_close(Handle(handle_));
}

bool GcryptHasher::Begin(const std::array<bool, kHashKindCount>& wanted)
{
    if (!LibraryReady())
        return false;
    if (handle_ != nullptr && wanted == enabled_) {
        gcry_md_reset(Handle(handle_));
        return true;
    }
    // An enabled algorithm cannot be turned off again: another set of kinds
    // needs another handle.
    if (handle_ != nullptr)
        gcry_md_close(Handle(handle_));
    handle_ = nullptr;
    enabled_ = {};
    gcry_md_hd_t handle = nullptr;
    if (gcry_md_open(&handle, 0, 0) != 0)
        return false;
    for (std::size_t kind = 0; kind < kHashKindCount; ++kind) {
        if (wanted[kind] && gcry_md_enable(handle, kAlgorithms[kind]) != 0) {
            gcry_md_close(handle);
            return false;
        }
    }
    handle_ = handle;
    enabled_ = wanted;
    return true;
}

bool GcryptHasher::Update(const std::uint8_t* data, std::size_t size)
{
    if (handle_ == nullptr)
        return false;
    gcry_md_write(Handle(handle_), data, size);
    return true;
}

bool GcryptHasher::Finish()
{
    if (handle_ == nullptr)
        return false;
    gcry_md_final(Handle(handle_));
    for (std::size_t kind = 0; kind < kHashKindCount; ++kind) {
        if (!enabled_[kind])
            continue;
        const unsigned char* digest = gcry_md_read(Handle(handle_), kAlgorithms[kind]);
        if (digest == nullptr)
            return false;
        std::memcpy(digests_[kind].data(), digest, DigestBytes(static_cast<HashKind>(kind)));
    }
    return true;
}

} // namespace Substitute
