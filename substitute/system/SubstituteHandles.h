#pragma once
// The substitute engine's owners: the product's own for the kinds both open
// (files, find handles, libraries), and the same pattern for the two CNG kinds
// only the engine opens.

#include <windows.h>
#include <bcrypt.h>

#include "foundation/RCHandles.h"

namespace Substitute {

namespace HandleTraits {

struct Algorithm {
    using type = BCRYPT_ALG_HANDLE;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct Hash {
    using type = BCRYPT_HASH_HANDLE;
    static type Invalid() { return nullptr; }
    static void Close(type h) { ::BCryptDestroyHash(h); }
};

} // namespace HandleTraits

using UniqueFile = RC::unique_hfile; // from CreateFile: INVALID_HANDLE_VALUE when invalid
using UniqueFind = RC::unique_hfind; // from FindFirstFile
using UniqueLibrary = RC::unique_hmodule;
using UniqueAlgorithm = RC::UniqueResource<HandleTraits::Algorithm>;
using UniqueHash = RC::UniqueResource<HandleTraits::Hash>;

} // namespace Substitute
