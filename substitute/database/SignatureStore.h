#pragma once
// The signature databases of one source, shared by every proxy of the
// library: a folder (the engine's "signatures" subfolder, or the one its
// host names), or one database file. Workers take a snapshot per file; a
// reload swaps in a new snapshot and never disturbs a scan in progress.
//
// A reload lets go of the old databases before it reads the new ones, so that
// two full sets are in memory together only while a scan still holds the old
// one; scans that start meanwhile wait for the new set.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "substitute/database/SignatureDatabase.h"
#include "substitute/database/SignatureLoadReport.h"

namespace Substitute {

class SignatureStore {
public:
    // source: a folder of databases, or one database file.
    explicit SignatureStore(const std::wstring& source);

    // The current databases, loaded on first use.
    std::shared_ptr<const SignatureDatabase> Current();
    // Loads again when a database file was added, removed or rewritten.
    // Returns whether it did.
    bool ReloadIfChanged();

    // Reads a source's databases, as the store does (kivoscan's summary).
    static std::shared_ptr<const SignatureDatabase> LoadSource(const std::wstring& source, SignatureLoadReport& report);

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

    // The database files of the folder; only the one named, when only is set.
    static std::vector<FileStamp> ListDatabases(const std::wstring& folder, const std::wstring& only);
    // The folder of a source, and the one file it names when it is a file.
    static std::pair<std::wstring, std::wstring> Split(const std::wstring& source);
    static std::shared_ptr<const SignatureDatabase>
    Load(const std::wstring& folder, const std::vector<FileStamp>& files, SignatureLoadReport& report);
    void LoadLocked(std::vector<FileStamp> files);

    std::wstring folder_;
    std::wstring only_;
    std::mutex lock_;
    bool loaded_ = false;
    std::vector<FileStamp> stamps_;
    std::shared_ptr<const SignatureDatabase> current_;
};

} // namespace Substitute
