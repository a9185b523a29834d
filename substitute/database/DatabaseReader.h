#pragma once
// Reads one file of a signature folder, fed in pieces as it is read: a loose
// database (.hdb, .hsb, .mdb, .msb, .fp, .sfp, .ign2), a kind this engine
// does not read (only its lines are counted), or a .cvd/.cld container (the
// 512-byte header, then a tar archive, gzip-compressed or not). A container
// that turns out broken (a bad header, a bad gzip stream, a bad or cut tar)
// is skipped whole: its signatures are taken back out of the builder, and it
// is counted and named once in the report; so is one that fails the checks
// it is handed (see ContainerChecks). Pure: no system calls (zlib does
// the decompression; a compressed container's tar is read on a second thread
// while the caller's inflates).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "substitute/database/ContainerChecks.h"
#include "substitute/database/ContainerHeader.h"
#include "substitute/database/SignatureDatabaseBuilder.h"
#include "substitute/database/SignatureLines.h"
#include "substitute/database/SignatureLoadReport.h"
#include "substitute/database/TarReader.h"

namespace Substitute {

class DatabaseReader final : private TarConsumer {
public:
    // Whether a file of this name belongs to a signature folder at all.
    static bool Reads(std::string_view fileName);
    static bool IsContainer(std::string_view fileName);

    // checks: what a container must show; null takes containers unsigned
    // (users who build their own say so).
    DatabaseReader(std::string fileName, SignatureDatabaseBuilder& builder, SignatureLoadReport& report,
                   const ContainerChecks* checks = nullptr);
    ~DatabaseReader() override;
    DatabaseReader(const DatabaseReader&) = delete;
    DatabaseReader& operator=(const DatabaseReader&) = delete;

    void Feed(std::string_view bytes);
    // The file ended.
    void End();
    // The file could not be read to its end: whatever it added is taken back.
    void Abandon(const std::string& why);

private:
    struct Inflater;
    class Unpacker;

    void FeedContainer(std::string_view bytes);
    // Why the container fails its checks, or nothing.
    std::optional<std::string> CheckFailure() const;
    std::unique_ptr<SignatureLines> LinesFor(const std::string& source, std::string_view name);

    void BeginMember(std::string_view name) override;
    void MemberData(std::string_view bytes) override;
    void EndMember() override;
    void Rejected(std::string_view name, const char* why) override;

    const std::string file_;
    SignatureDatabaseBuilder& builder_;
    SignatureLoadReport& report_;
    const SignatureDatabaseBuilder::Checkpoint mark_;
    SourceCounts counts_;
    const bool container_;
    bool broken_ = false;
    std::string header_;
    std::optional<ContainerHeader> parsedHeader_;
    std::optional<bool> compressed_;
    std::unique_ptr<Inflater> inflater_;
    TarReader tar_;

    // The checks' state. The members' part is the tar thread's until it is
    // joined.
    struct MemberSeen {
        std::string name;
        std::uint64_t size = 0;
        std::string sha256;
    };
    const ContainerChecks* const checks_;
    std::unique_ptr<ContainerChecks::Digest> containerMd5_;
    std::unique_ptr<ContainerChecks::Digest> memberSha256_; // the current member's, when it must be listed
    MemberSeen member_;
    bool memberIsInfo_ = false;
    std::optional<std::string> info_; // the first .info member's text
    std::vector<MemberSeen> members_;
    std::unique_ptr<SignatureLines> lines_; // the loose file, or the current member
    // Last: it stops its thread before anything that thread uses goes.
    std::unique_ptr<Unpacker> unpacker_;
};

} // namespace Substitute
