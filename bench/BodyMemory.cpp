// The engine's own memory for its signatures, counted by this program's
// operator new: a signature folder loaded as the engine loads it (what stays
// and the peak on the way), then the folder's body signatures alone, as
// parsed patterns and then with the automaton built over their fragments.
// Bytes are those asked of the heap (each block costs the heap some 8-16
// bytes more, hence the block counts); the private bytes beside them are the
// process's as Windows counts them.
//   body-memory FOLDER
#include <windows.h>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "bench/ProcessSample.h"
#include "foundation/RCHandles.h"
#include "substitute/match/BodySignature.h"
#include "substitute/match/BodySignatureSet.h"
#include "substitute/database/SignatureStore.h"

namespace {

// Single-threaded use only: the counts are read between steps.
std::size_t g_live = 0;
std::size_t g_peak = 0;
std::size_t g_blocks = 0;

void* Allocate(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    g_live += _msize(block);
    ++g_blocks;
    if (g_live > g_peak)
        g_peak = g_live;
    return block;
}

void Release(void* block)
{
    if (block == nullptr)
        return;
    g_live -= _msize(block);
    --g_blocks;
    std::free(block);
}

struct Mark {
    std::size_t live = g_live;
    std::size_t blocks = g_blocks;
    double privateMiB = KivoBench::SampleProcess().privateMiB;
};

void Report(const char* what, const Mark& from, std::size_t count)
{
    const Mark now;
    const long long blocks = static_cast<long long>(now.blocks) - static_cast<long long>(from.blocks);
    const double bytes = double(now.live) - double(from.live);
    std::printf("| %s | %.2f | %lld | %.0f | %.2f |\n", what, bytes / 1048576.0, blocks,
                count != 0 ? bytes / double(count) : 0.0, now.privateMiB - from.privateMiB);
}

} // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}
void* operator new[](std::size_t size)
{
    return Allocate(size);
}
void operator delete(void* block) noexcept
{
    Release(block);
}
void operator delete[](void* block) noexcept
{
    Release(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    Release(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    Release(block);
}

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: body-memory FOLDER\n");
        return 2;
    }
    const std::wstring folder = argv[1];
    std::printf("| step | MiB | heap blocks | bytes per signature | private MiB |\n|---|---:|---:|---:|---:|\n");

    std::size_t total = 0, bodies = 0;
    {
        const Mark before;
        g_peak = g_live;
        Substitute::SignatureLoadReport report;
        auto database = Substitute::SignatureStore::LoadSource(folder, report);
        if (!database) {
            std::fprintf(stderr, "body-memory: cannot load the folder\n");
            return 1;
        }
        total = database->Count();
        bodies = database->Bodies().Size();
        Report("whole folder loaded, kept", before, total);
        std::printf("| whole folder, peak while loading | %.2f | | | |\n", (g_peak - before.live) / 1048576.0);
    }

    // The body signatures alone, from the folder's .ndb files.
    std::string text;
    WIN32_FIND_DATAW found;
    const RC::unique_hfind search(FindFirstFileW((folder + L"\\*.ndb").c_str(), &found));
    if (search) {
        do {
            const RC::unique_hfile file(CreateFileW((folder + L"\\" + found.cFileName).c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
            char buffer[1 << 16];
            DWORD got = 0;
            while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got != 0)
                text.append(buffer, got);
            text += '\n';
        } while (FindNextFileW(search.get(), &found));
    }
    Substitute::BodySignatureSet set;
    const Mark before;
    g_peak = g_live;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        Substitute::BodyLine parsed = Substitute::BodySignatureParser::ParseLine(line);
        if (parsed.status == Substitute::LineStatus::Signature)
            set.Add(std::move(parsed.signature));
        start = end + 1;
    }
    Report("body patterns parsed (no names)", before, set.Size());
    const Mark parsed;
    g_peak = g_live;
    set.Finish();
    Report("automaton and fragment lists built", parsed, set.Size());
    std::printf("| build's peak above the patterns | %.2f | | | |\n", (g_peak - parsed.live) / 1048576.0);
    Report("body signatures in all", before, set.Size());
    std::printf("\n%zu signatures in the folder, %zu of them body signatures (%zu here); %zu fragments, %zu parts\n",
                total, bodies, set.Size(), set.Automaton().Count(), set.PartCount());
    return 0;
}
