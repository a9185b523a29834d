#pragma once
// The signature databases of one engine folder (its "signatures" subfolder),
// shared by every proxy of the library. Workers take a snapshot per file; a
// reload swaps in a new snapshot and never disturbs a scan in progress.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "substitute/SignatureDatabase.h"

namespace Substitute {

class SignatureStore {
public:
    explicit SignatureStore(std::wstring folder);

    // The current databases, loaded on first use.
    std::shared_ptr<const SignatureDatabase> Current();
    // Loads again when a database file was added, removed or rewritten.
    // Returns whether it did.
    bool ReloadIfChanged();

private:
    struct FileStamp {
        std::wstring name;
        std::uint64_t size;
        std::uint64_t writeTime;
        bool operator==(const FileStamp& other) const
        {
            return name == other.name && size == other.size && writeTime == other.writeTime;
        }
    };

    std::vector<FileStamp> ListDatabases() const;
    std::shared_ptr<const SignatureDatabase> Load(const std::vector<FileStamp>& files) const;

    const std::wstring folder_;
    std::mutex lock_;
    bool loaded_ = false;
    std::vector<FileStamp> stamps_;
    std::shared_ptr<const SignatureDatabase> current_;
};

} // namespace Substitute
