#include "substitute/database/SignatureDatabaseBuilder.h"

#include <algorithm>

namespace Substitute {

namespace {

// Calls f on the index of each kind of a table, with its kind.
template <typename Tables, typename F>
void ForEachKind(Tables& tables, F&& f)
{
    f(tables.md5, HashKind::Md5);
    f(tables.sha1, HashKind::Sha1);
    f(tables.sha256, HashKind::Sha256);
}

} // namespace

SignatureDatabaseBuilder::SignatureDatabaseBuilder(LineHasher lineHasher)
    : database_(std::make_unique<SignatureDatabase>()), lineHasher_(std::move(lineHasher))
{
}

void SignatureDatabaseBuilder::Add(const HashSignature& signature)
{
    SignatureDatabase& database = *database_;
    const NameRef name = database.names_.Intern(signature.name);
    std::uint32_t record = 0;
    if (signature.table != HashTable::Allowed)
        record = static_cast<std::uint32_t>(++database.count_);
    const std::uint32_t size =
        signature.anySize ? DigestIndex<16>::kAnySize : static_cast<std::uint32_t>(signature.size);
    auto& tables = database.tables_[static_cast<std::size_t>(signature.table)];
    switch (signature.kind) {
    case HashKind::Md5:
        tables.md5.Add(signature.digest.data(), size, name, record);
        break;
    case HashKind::Sha1:
        tables.sha1.Add(signature.digest.data(), size, name, record);
        break;
    case HashKind::Sha256:
        tables.sha256.Add(signature.digest.data(), size, name, record);
        break;
    }
}

void SignatureDatabaseBuilder::AddBody(const BodySignature& signature)
{
    SignatureDatabase& database = *database_;
    BodySignature added = signature;
    added.nameRef = database.names_.Intern(signature.name);
    added.record = static_cast<std::uint32_t>(++database.count_);
    database.bodies_.Add(std::move(added));
}

void SignatureDatabaseBuilder::AddLogical(const LogicalSignature& signature)
{
    SignatureDatabase& database = *database_;
    LogicalSignature added = signature;
    added.nameRef = database.names_.Intern(signature.name);
    added.record = static_cast<std::uint32_t>(++database.count_);
    std::vector<BodySignature> bodies = std::move(added.bodies);
    const NameRef name = added.nameRef;
    const std::uint32_t record = added.record;
    const std::uint32_t firstSub = database.logicals_.Add(std::move(added));
    for (BodySignature& body : bodies) {
        // Named as their signature, so that an .ign2 line that silences it silences them.
        body.nameRef = name;
        body.record = record;
        body.sub += firstSub;
        database.bodies_.Add(std::move(body));
    }
}

void SignatureDatabaseBuilder::AddIgnored(std::string_view name, const std::optional<LineDigest>& line)
{
    if (!line) {
        database_->ignored_.emplace_back(name);
        return;
    }
    ignoredLines_.emplace_back(std::string(name), *line);
    ignoredLinesByName_.emplace(std::string(name), *line);
}

bool SignatureDatabaseBuilder::IgnoresLine(std::string_view name, std::string_view line) const
{
    if (ignoredLinesByName_.empty() || !lineHasher_)
        return false;
    const auto [first, last] = ignoredLinesByName_.equal_range(name);
    if (first == last)
        return false;
    const std::optional<LineDigest> digest = lineHasher_(line);
    return digest && std::any_of(first, last, [&](const auto& entry) { return entry.second == *digest; });
}

SignatureDatabaseBuilder::Checkpoint SignatureDatabaseBuilder::Mark() const
{
    Checkpoint mark{};
    for (std::size_t table = 0; table < kHashTableCount; ++table)
        ForEachKind(database_->tables_[table], [&](auto& index, HashKind kind) {
            mark.rows[table][static_cast<std::size_t>(kind)] = index.Pending();
        });
    mark.ignored = database_->ignored_.size();
    mark.ignoredLines = ignoredLines_.size();
    mark.bodies = database_->bodies_.Size();
    mark.logicals = database_->logicals_.Size();
    mark.count = database_->count_;
    return mark;
}

void SignatureDatabaseBuilder::Rollback(const Checkpoint& mark)
{
    for (std::size_t table = 0; table < kHashTableCount; ++table)
        ForEachKind(database_->tables_[table], [&](auto& index, HashKind kind) {
            index.Truncate(mark.rows[table][static_cast<std::size_t>(kind)]);
        });
    database_->ignored_.resize(mark.ignored);
    if (ignoredLines_.size() != mark.ignoredLines) {
        ignoredLines_.resize(mark.ignoredLines);
        ignoredLinesByName_.clear();
        for (const auto& [name, digest] : ignoredLines_)
            ignoredLinesByName_.emplace(name, digest);
    }
    database_->bodies_.Truncate(mark.bodies);
    database_->logicals_.Truncate(mark.logicals);
    database_->count_ = mark.count;
}

std::unique_ptr<const SignatureDatabase> SignatureDatabaseBuilder::Finish()
{
    SignatureDatabase& database = *database_;
    database.names_.FinishAdding(); // before sorting: its table is no use any more
    for (std::size_t table = 0; table < kHashTableCount; ++table)
        ForEachKind(database.tables_[table], [&](auto& index, HashKind kind) {
            // MD5 is always computed (it keys every answer): its sizes are never asked.
            index.Finish(kind != HashKind::Md5 || table == static_cast<std::size_t>(HashTable::Section));
        });
    const auto& sections = database.tables_[static_cast<std::size_t>(HashTable::Section)];
    database.hasSections_ = !sections.md5.Empty() || !sections.sha1.Empty() || !sections.sha256.Empty();
    std::sort(database.ignored_.begin(), database.ignored_.end());
    // A silenced body signature is not even looked for.
    database.bodies_.RemoveIf(
        [&](const BodySignature& body) { return database.Ignored(database.names_.At(body.nameRef)); });
    database.logicals_.RemoveIf(
        [&](const LogicalSignature& logical) { return database.Ignored(database.names_.At(logical.nameRef)); });
    database.bodies_.Finish();
    database.logicals_.Finish();
    return std::move(database_);
}

} // namespace Substitute
