#include "substitute/archive/ArchiveWalker.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "substitute/archive/Inflater.h"
#include "substitute/archive/TarMembers.h"
#include "substitute/archive/ZipDirectory.h"

namespace Substitute {

namespace {

std::string_view View(const std::uint8_t* data, std::size_t size)
{
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

std::string_view Part(std::string_view bytes, std::uint64_t offset, std::uint64_t size)
{
    return bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
}

} // namespace

ContainerKind ArchiveWalker::Identify(const std::uint8_t* head, std::size_t size)
{
    if (size >= 4 && std::memcmp(head, "PK\x03\x04", 4) == 0)
        return ContainerKind::Zip;
    if (size >= 3 && head[0] == 0x1F && head[1] == 0x8B && head[2] == 8)
        return ContainerKind::Gzip;
    if (TarMembers::IsHeader(View(head, size)))
        return ContainerKind::Tar;
    return ContainerKind::None;
}

WalkOutcome ArchiveWalker::Walk(const std::uint8_t* data, std::size_t size)
{
    outcome_ = WalkOutcome();
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.maxScanTimeMs);
    const ContainerKind kind = Identify(data, size);
    if (kind != ContainerKind::None)
        Look(View(data, size), kind, 0);
    return outcome_;
}

bool ArchiveWalker::Look(std::string_view container, ContainerKind kind, std::uint32_t depth)
{
    switch (kind) {
    case ContainerKind::Zip:
        return Zip(container, depth);
    case ContainerKind::Gzip:
        return Gzip(container, depth);
    case ContainerKind::Tar:
        return Tar(container, depth);
    case ContainerKind::None:
        break;
    }
    return true;
}

bool ArchiveWalker::Zip(std::string_view container, std::uint32_t depth)
{
    const ZipListing listing = ZipDirectory::Read(container);
    if (!listing.directoryFound)
        CutShort("damaged zip (no central directory)");
    else if (listing.unreadable != 0)
        CutShort("damaged zip (" + std::to_string(listing.unreadable) + " entries not where the directory says)");
    for (const ZipEntry& entry : listing.entries) {
        std::uint64_t limit = 0;
        const Admission admission = Admit(depth + 1, limit);
        if (admission == Admission::Stop)
            return false;
        if (admission == Admission::Skip)
            continue;
        if (entry.encrypted) {
            if (limits_.alertEncrypted) {
                outcome_.heuristic = kEncryptedZip;
                return false;
            }
            CutShort("encrypted entry");
            continue;
        }
        const std::string_view data = Part(container, entry.dataOffset, entry.compressedSize);
        if (entry.method == ZipDirectory::kDeflated) {
            if (!Inflated(data, false, limit, depth + 1))
                return false;
        } else if (entry.method == ZipDirectory::kStored) {
            if (data.size() > limit)
                CutShort(LimitName(limit));
            if (!Visit(data.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(limit, data.size()))),
                       depth + 1))
                return false;
        } else {
            CutShort("zip compression method " + std::to_string(entry.method));
        }
    }
    return true;
}

bool ArchiveWalker::Gzip(std::string_view container, std::uint32_t depth)
{
    std::uint64_t limit = 0;
    const Admission admission = Admit(depth + 1, limit);
    if (admission != Admission::Read)
        return admission != Admission::Stop;
    return Inflated(container, true, limit, depth + 1);
}

bool ArchiveWalker::Tar(std::string_view container, std::uint32_t depth)
{
    const TarListing listing = TarMembers::Read(container);
    if (listing.cut)
        CutShort("damaged tar (cut short)");
    for (const TarMember& member : listing.members) {
        std::uint64_t limit = 0;
        const Admission admission = Admit(depth + 1, limit);
        if (admission == Admission::Stop)
            return false;
        if (admission == Admission::Skip)
            continue;
        if (member.size > limit)
            CutShort(LimitName(limit));
        if (!Visit(Part(container, member.dataOffset, std::min(member.size, limit)), depth + 1))
            return false;
    }
    return true;
}

ArchiveWalker::Admission ArchiveWalker::Admit(std::uint32_t depth, std::uint64_t& limit)
{
    if (judge_.Cancelled())
        return Admission::Stop;
    if (std::chrono::steady_clock::now() > deadline_) {
        CutShort("max-scantime (" + std::to_string(limits_.maxScanTimeMs) + " ms)");
        return Admission::Stop;
    }
    if (outcome_.entries >= limits_.maxFiles) {
        CutShort("max-files (" + std::to_string(limits_.maxFiles) + ")");
        return Admission::Stop;
    }
    if (outcome_.bytes >= limits_.maxScanSize) {
        CutShort("max-scansize (" + std::to_string(limits_.maxScanSize) + " bytes)");
        return Admission::Stop;
    }
    if (depth >= limits_.maxRecursion) {
        CutShort("max-recursion (" + std::to_string(limits_.maxRecursion) + ")");
        return Admission::Skip;
    }
    limit = std::min(limits_.maxFileSize, limits_.maxScanSize - outcome_.bytes);
    return Admission::Read;
}

bool ArchiveWalker::Inflated(std::string_view stream, bool gzip, std::uint64_t limit, std::uint32_t depth)
{
    // This frame owns the entry while its own entries are looked at: the
    // buffers alive at once are one per level, all counted in max-scansize.
    std::vector<std::uint8_t> entry;
    const Inflation inflation =
        Inflater::Inflate(stream, gzip ? Deflated::Gzip : Deflated::Raw, limit, deadline_, entry);
    switch (inflation.end) {
    case Inflation::End::Complete:
        break;
    case Inflation::End::Limit:
        CutShort(LimitName(limit));
        break;
    case Inflation::End::Broken:
        CutShort(gzip ? "damaged gzip (cut short or corrupt)" : "damaged zip entry (cut short or corrupt)");
        break;
    case Inflation::End::Late:
        CutShort("max-scantime (" + std::to_string(limits_.maxScanTimeMs) + " ms)");
        return false;
    }
    // What could be read is judged, whatever came after it.
    return Visit(View(entry.data(), entry.size()), depth);
}

bool ArchiveWalker::Visit(std::string_view entry, std::uint32_t depth)
{
    ++outcome_.entries;
    outcome_.bytes += entry.size();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(entry.data());
    switch (judge_.Judge(bytes, entry.size())) {
    case EntryJudge::Verdict::Found:
        outcome_.found = true;
        return false;
    case EntryJudge::Verdict::Allowed:
        return true;
    case EntryJudge::Verdict::Clean:
        break;
    }
    return Look(entry, Identify(bytes, entry.size()), depth);
}

std::string ArchiveWalker::LimitName(std::uint64_t limit) const
{
    return limit == limits_.maxFileSize ? "max-filesize (" + std::to_string(limits_.maxFileSize) + " bytes)"
                                        : "max-scansize (" + std::to_string(limits_.maxScanSize) + " bytes)";
}

void ArchiveWalker::CutShort(const std::string& why)
{
    if (outcome_.shortfalls++ == 0)
        outcome_.shortfall = why;
}

} // namespace Substitute
