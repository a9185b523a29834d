// The machine's limit for the engine benchmark: one thread that reads every
// file in 1 MiB chunks and hashes it with CNG's MD5, nothing else. The engine
// does the same work per file plus its queue and callbacks, so its figures
// are read as a ratio against this loop's in the same Wine prefix.
//   md5-loop PATH...     (@FILE: the paths listed in FILE, one a line)
#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "substitute/QuentorScan/FileList.h"
#include "substitute/system/SubstituteHandles.h"

namespace {

constexpr DWORD kChunk = 1 << 20;

// Bytes hashed, or -1 when the file could not be read.
long long HashFile(BCRYPT_ALG_HANDLE algorithm, const std::wstring& path, std::vector<unsigned char>& buffer)
{
    Substitute::UniqueFile file = Substitute::UniqueFile(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    BCRYPT_HASH_HANDLE rawHash = nullptr;
    if (!file || BCryptCreateHash(algorithm, &rawHash, nullptr, 0, nullptr, 0, 0) != 0)
        return -1;
    Substitute::UniqueHash hash(rawHash);
    long long total = 0;
    DWORD got = 0;
    while (ReadFile(file.get(), buffer.data(), kChunk, &got, nullptr) && got > 0) {
        if (BCryptHashData(hash.get(), buffer.data(), got, 0) != 0)
            return -1;
        total += got;
    }
    unsigned char digest[16];
    return BCryptFinishHash(hash.get(), digest, sizeof digest, 0) == 0 ? total : -1;
}

// The paths of the arguments, with each @FILE replaced by the lines of FILE:
// a set of single files too long for one command line.
std::vector<std::wstring> Roots(int argc, wchar_t** argv)
{
    std::vector<std::wstring> roots;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != L'@') {
            roots.push_back(argv[i]);
            continue;
        }
        std::ifstream list(argv[i] + 1);
        std::string line;
        while (std::getline(list, line)) {
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
                line.pop_back();
            if (!line.empty())
                roots.emplace_back(line.begin(), line.end()); // the lists name ASCII paths
        }
    }
    return roots;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: md5-loop PATH|@LIST...\n");
        return 2;
    }
    const std::vector<std::wstring> files = Substitute::ListFiles(Roots(argc, argv));
    BCRYPT_ALG_HANDLE rawAlgorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&rawAlgorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0) {
        std::fwprintf(stderr, L"md5-loop: no MD5 provider\n");
        return 2;
    }
    Substitute::UniqueAlgorithm algorithm(rawAlgorithm);
    std::vector<unsigned char> buffer(kChunk);

    unsigned long hashed = 0, failed = 0;
    long long bytes = 0;
    const ULONGLONG started = GetTickCount64();
    for (const std::wstring& path : files) {
        const long long size = HashFile(algorithm.get(), path, buffer);
        if (size < 0) {
            ++failed;
        } else {
            ++hashed;
            bytes += size;
        }
    }
    const ULONGLONG elapsed = GetTickCount64() - started;
    const double seconds = elapsed > 0 ? elapsed / 1000.0 : 0.001;
    std::fwprintf(stderr,
                  L"files %lu, failed %lu, %.1f MiB in %.3f s: %.1f files/s, %.1f MiB/s, peak working set %.1f MiB\n",
                  hashed, failed, bytes / 1048576.0, seconds, hashed / seconds, bytes / 1048576.0 / seconds,
                  Substitute::PeakWorkingSetMiB());
    return failed != 0 ? 2 : 0;
}
