#pragma once
// The substitute engine's own RAII owners, one per kind of handle. The engine
// is a separate library from the product, so it does not borrow the product's.

#include <windows.h>
#include <bcrypt.h>

#include <memory>

namespace Substitute {

// Closing keeps GetLastError, so a failure can be read after its owner is gone.
class LastErrorKeeper {
public:
    LastErrorKeeper() noexcept : error_(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(error_); }

private:
    DWORD error_;
};

struct HandleCloser {
    void operator()(HANDLE h) const noexcept { LastErrorKeeper keep; CloseHandle(h); }
};
struct FindCloser {
    void operator()(HANDLE h) const noexcept { LastErrorKeeper keep; FindClose(h); }
};
struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE h) const noexcept { LastErrorKeeper keep; BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashCloser {
    void operator()(BCRYPT_HASH_HANDLE h) const noexcept { LastErrorKeeper keep; BCryptDestroyHash(h); }
};
struct LibraryCloser {
    void operator()(HMODULE h) const noexcept { LastErrorKeeper keep; FreeLibrary(h); }
};

// Handles are pointers on Win32, so unique_ptr holds them; the invalid value
// differs per kind, hence the factory functions below.
using UniqueHandle = std::unique_ptr<void, HandleCloser>;      // NULL when invalid
using UniqueFile = std::unique_ptr<void, HandleCloser>;        // from CreateFile
using UniqueFind = std::unique_ptr<void, FindCloser>;          // from FindFirstFile
using UniqueAlgorithm = std::unique_ptr<void, AlgorithmCloser>;
using UniqueHash = std::unique_ptr<void, HashCloser>;
using UniqueLibrary = std::unique_ptr<HINSTANCE__, LibraryCloser>;

inline UniqueFile AdoptFile(HANDLE h) noexcept
{
    return UniqueFile(h == INVALID_HANDLE_VALUE ? nullptr : h);
}
inline UniqueFind AdoptFind(HANDLE h) noexcept
{
    return UniqueFind(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

} // namespace Substitute
