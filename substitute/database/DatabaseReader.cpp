#include "substitute/database/DatabaseReader.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace Substitute {

namespace {

// Kinds of ClamAV databases this engine does not read (yet): a folder's file
// of such a kind is counted as skipped; any other file is not a database.
constexpr std::string_view kOtherKinds[] = {"cdb", "idb", "pdb", "gdb", "wdb", "ftm", "cfg",  "crb",  "cbc",
                                            "hdu", "hsu", "mdu", "msu", "ndu", "ldu", "imp", "yar",  "yara", "ign",
                                            "db",  "zmd", "rmd", "cat", "cud", "ioc", "sdb", "pwdb", "info"};

std::string ExtensionOf(std::string_view name)
{
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    std::string extension(dot == std::string_view::npos ? name : name.substr(dot + 1));
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

constexpr std::size_t kInflateBytes = 256 * 1024;
// A list of members is a few lines; one longer than this is not read further.
constexpr std::size_t kLongestInfo = 1u << 20;

} // namespace

struct DatabaseReader::Inflater {
    z_stream stream{};
    bool started = false;
    bool finished = false;
    std::unique_ptr<unsigned char[]> out = std::make_unique<unsigned char[]>(kInflateBytes);

    ~Inflater()
    {
        if (started)
            inflateEnd(&stream);
    }
};

// Inflating a container and reading its tar and lines take about as long as
// each other: the tar is read on a second thread while the caller's thread
// inflates. Only that thread touches the tar reader (and through it the
// builder and the counts) until Finish has returned.
class DatabaseReader::Unpacker {
public:
    explicit Unpacker(TarReader& tar) : tar_(tar), worker_([this] { Run(); }) {}
    ~Unpacker() { Finish(); }

    // Collects inflated bytes and hands them over in large batches: every
    // hand-over may wait for the other thread to be scheduled, which on a
    // busy machine costs more than the batch's own work.
    // False once the tar reader has failed: nothing more is wanted.
    bool Add(std::string_view bytes)
    {
        batch_.append(bytes.data(), bytes.size());
        return batch_.size() < kBatchBytes || Hand();
    }

    // Waits until everything handed over was read; false when reading failed.
    bool Finish()
    {
        if (!batch_.empty() && worker_.joinable())
            Hand();
        {
            std::lock_guard<std::mutex> guard(lock_);
            ended_ = true;
        }
        workChanged_.notify_one();
        if (worker_.joinable())
            worker_.join();
        return !failed_;
    }

private:
    static constexpr std::size_t kQueued = 2;
    static constexpr std::size_t kBatchBytes = 4u << 20;

    bool Hand()
    {
        std::unique_lock<std::mutex> guard(lock_);
        roomFreed_.wait(guard, [&] { return chunks_.size() < kQueued || failed_; });
        if (failed_)
            return false;
        chunks_.push_back(std::move(batch_));
        batch_ = std::string();
        batch_.reserve(kBatchBytes);
        guard.unlock();
        workChanged_.notify_one();
        return true;
    }

    void Run()
    {
        for (;;) {
            std::string chunk;
            {
                std::unique_lock<std::mutex> guard(lock_);
                workChanged_.wait(guard, [&] { return !chunks_.empty() || ended_; });
                if (chunks_.empty())
                    return;
                chunk = std::move(chunks_.front());
                chunks_.pop_front();
            }
            roomFreed_.notify_one();
            bool read = false;
            try {
                read = tar_.Feed(chunk);
            } catch (const std::exception&) {
                // Out of memory: the container is given up like a broken one.
            }
            if (!read) {
                std::lock_guard<std::mutex> guard(lock_);
                failed_ = true;
                chunks_.clear();
                roomFreed_.notify_one();
                return;
            }
        }
    }

    TarReader& tar_;
    std::string batch_; // this thread's, not yet handed over
    std::mutex lock_;
    std::condition_variable workChanged_;
    std::condition_variable roomFreed_;
    std::deque<std::string> chunks_; // guarded by lock_
    bool ended_ = false;             // guarded by lock_
    bool failed_ = false;            // guarded by lock_; read unlocked only after the join
    std::thread worker_;
};

bool DatabaseReader::IsContainer(std::string_view fileName)
{
    const std::string extension = ExtensionOf(fileName);
    return extension == "cvd" || extension == "cld";
}

bool DatabaseReader::Reads(std::string_view fileName)
{
    if (IsContainer(fileName) || SignatureParser::FormatOfFileName(fileName))
        return true;
    const std::string extension = ExtensionOf(fileName);
    for (std::string_view kind : kOtherKinds)
        if (extension == kind)
            return true;
    return false;
}

DatabaseReader::DatabaseReader(std::string fileName, SignatureDatabaseBuilder& builder, SignatureLoadReport& report,
                               const ContainerChecks* checks)
    : file_(std::move(fileName)), builder_(builder), report_(report), mark_(builder.Mark()),
      container_(IsContainer(file_)), tar_(*this), checks_(container_ ? checks : nullptr)
{
    if (!container_)
        lines_ = LinesFor(file_, file_);
}

DatabaseReader::~DatabaseReader() = default;

std::unique_ptr<SignatureLines> DatabaseReader::LinesFor(const std::string& source, std::string_view name)
{
    return std::make_unique<SignatureLines>(source, SignatureParser::FormatOfFileName(name), ExtensionOf(name),
                                            builder_, counts_, report_);
}

void DatabaseReader::Abandon(const std::string& why)
{
    if (broken_)
        return;
    if (unpacker_) {
        unpacker_->Finish();
        unpacker_.reset();
    }
    broken_ = true;
    lines_.reset();
    inflater_.reset();
    builder_.Rollback(mark_);
    ++report_.brokenSources;
    report_.Problem(file_ + ": " + why + "; skipped");
}

void DatabaseReader::Feed(std::string_view bytes)
{
    if (broken_)
        return;
    if (!container_) {
        lines_->Feed(bytes);
        return;
    }
    FeedContainer(bytes);
}

void DatabaseReader::FeedContainer(std::string_view bytes)
{
    if (!parsedHeader_) {
        const std::size_t take = std::min(bytes.size(), ContainerHeader::kBytes - header_.size());
        header_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        if (header_.size() < ContainerHeader::kBytes)
            return;
        parsedHeader_ = ContainerHeader::Parse(header_);
        if (!parsedHeader_)
            return Abandon("not a container header");
        if (checks_)
            containerMd5_ = checks_->md5();
    }
    if (bytes.empty())
        return;
    if (containerMd5_)
        containerMd5_->Add(bytes);
    if (!compressed_) {
        compressed_ = static_cast<unsigned char>(bytes[0]) == 0x1F; // gzip's first byte; never a tar name's
        if (*compressed_) {
            inflater_ = std::make_unique<Inflater>();
            // 16 + window bits: a gzip wrapper, not a bare zlib stream.
            if (inflateInit2(&inflater_->stream, 16 + MAX_WBITS) != Z_OK)
                return Abandon("cannot start decompression");
            inflater_->started = true;
            try {
                unpacker_ = std::make_unique<Unpacker>(tar_);
            } catch (const std::system_error&) {
                // No second thread: the tar is read on this one.
            }
        }
    }
    if (!*compressed_) {
        if (!tar_.Feed(bytes))
            Abandon(tar_.Why());
        return;
    }
    Inflater& inflater = *inflater_;
    if (inflater.finished)
        return; // bytes after the gzip stream are not read
    inflater.stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    inflater.stream.avail_in = static_cast<uInt>(bytes.size());
    while (inflater.stream.avail_in != 0 && !inflater.finished) {
        inflater.stream.next_out = inflater.out.get();
        inflater.stream.avail_out = static_cast<uInt>(kInflateBytes);
        const int status = inflate(&inflater.stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            return Abandon("bad compressed data");
        const std::size_t produced = kInflateBytes - inflater.stream.avail_out;
        const std::string_view unpacked(reinterpret_cast<const char*>(inflater.out.get()), produced);
        if (!(unpacker_ ? unpacker_->Add(unpacked) : tar_.Feed(unpacked)))
            return Abandon(tar_.Why());
        if (status == Z_STREAM_END)
            inflater.finished = true;
        else if (status == Z_BUF_ERROR && produced == 0)
            break;
    }
}

void DatabaseReader::End()
{
    if (broken_)
        return;
    if (!container_) {
        lines_->End();
        lines_.reset();
        report_.counts.Add(counts_);
        return;
    }
    if (!parsedHeader_)
        return Abandon("shorter than a container header");
    if (unpacker_) {
        const bool read = unpacker_->Finish();
        unpacker_.reset();
        if (!read)
            return Abandon(tar_.Why());
    }
    if (compressed_ && *compressed_ && !inflater_->finished)
        return Abandon("compressed data cut short");
    if (!tar_.End())
        return Abandon("archive cut short");
    if (lines_) // a member cannot be open at a clean end, but be sure
        return Abandon("archive cut short");
    if (const std::optional<std::string> failure = CheckFailure())
        return Abandon(*failure);
    report_.counts.Add(counts_);
    report_.containers.push_back({file_, parsedHeader_->version, parsedHeader_->signatures, parsedHeader_->level});
}

void DatabaseReader::BeginMember(std::string_view name)
{
    lines_ = LinesFor(file_ + "/" + std::string(name), name);
    if (!checks_)
        return;
    // The list of members is read whole, wherever it stands in the tar; every
    // other database member must be on it. Other files (COPYING) need not.
    memberIsInfo_ = !info_ && ExtensionOf(name) == "info";
    if (memberIsInfo_)
        info_.emplace();
    else if (Reads(name))
        memberSha256_ = checks_->sha256();
    member_ = MemberSeen{std::string(name), 0, std::string()};
}

void DatabaseReader::MemberData(std::string_view bytes)
{
    if (lines_)
        lines_->Feed(bytes);
    member_.size += bytes.size();
    if (memberSha256_)
        memberSha256_->Add(bytes);
    if (memberIsInfo_ && info_->size() < kLongestInfo)
        info_->append(bytes.substr(0, kLongestInfo - info_->size()));
}

void DatabaseReader::EndMember()
{
    if (lines_)
        lines_->End();
    lines_.reset();
    if (memberSha256_) {
        member_.sha256 = memberSha256_->Hex();
        members_.push_back(std::move(member_));
        memberSha256_.reset();
    }
    memberIsInfo_ = false;
}

std::optional<std::string> DatabaseReader::CheckFailure() const
{
    if (!checks_)
        return std::nullopt;
    const bool signedHeader = ExtensionOf(file_) == "cvd";
    if (signedHeader && containerMd5_->Hex() != parsedHeader_->md5)
        return "its header's MD5 does not match its contents";
    if (signedHeader && !checks_->signsDigest(parsedHeader_->md5, parsedHeader_->dsig))
        return "its header's digital signature does not verify";
    if (!info_)
        return "no .info member lists its files";
    // After the list's own header line: "name:size:sha256" per member, and
    // for a .cld the builder's signature, "DSIG:...".
    std::string_view rest(*info_);
    const bool headed = rest.substr(0, 11) == "ClamAV-VDB:";
    bool signedList = false;
    std::vector<MemberSeen> listed;
    for (bool first = true; !rest.empty(); first = false) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first || line.empty())
            continue;
        if (line.substr(0, 5) == "DSIG:") {
            signedList = true;
            continue;
        }
        const std::size_t colon = line.find(':'), second = line.find(':', colon + 1);
        if (second == std::string_view::npos)
            return "its .info has a malformed line";
        MemberSeen entry{std::string(line.substr(0, colon)), 0, std::string(line.substr(second + 1))};
        for (char c : line.substr(colon + 1, second - colon - 1))
            entry.size = c >= '0' && c <= '9' && entry.size < (UINT64_MAX - 9) / 10 ? entry.size * 10 + (c - '0')
                                                                                  : UINT64_MAX;
        for (char& c : entry.sha256)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        listed.push_back(std::move(entry));
    }
    if (!headed)
        return "its .info does not begin with a container header";
    if (ExtensionOf(file_) == "cld" && !signedList)
        return "its .info carries no digital signature";
    for (const MemberSeen& member : members_) {
        const auto entry = std::find_if(listed.begin(), listed.end(),
                                        [&](const MemberSeen& candidate) { return candidate.name == member.name; });
        if (entry == listed.end())
            return member.name + " is not listed in its .info";
        if (entry->size != member.size || entry->sha256 != member.sha256)
            return member.name + " does not match its size and SHA-256 in its .info";
    }
    return std::nullopt;
}

void DatabaseReader::Rejected(std::string_view name, const char* why)
{
    ++report_.rejectedEntries;
    report_.Problem(file_ + "/" + std::string(name) + ": " + why + "; skipped");
}

} // namespace Substitute
