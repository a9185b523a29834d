#pragma once
// The quarantine folder beside the engine. A quarantined file is one item
// "<MD5>-<process creation time>-<process>-<counter>.qtn" holding a QuarantineRecord header and the file's
// bytes in inert form. Neither direction follows a reparse point, and a
// failure at any step leaves the file where it was before the call.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "substitute/quarantine/QuarantineRecord.h"

namespace Substitute {

class QuarantineStore {
public:
    explicit QuarantineStore(std::wstring folder);

    // Moves the file into quarantine when its MD5 is still md5 (the scan's);
    // false leaves it untouched.
    bool Quarantine(const std::wstring& path, const std::wstring& threatName, const std::uint8_t (&md5)[16]);
    // Writes the quarantined file with this MD5 back to path, which must not
    // exist yet, and drops the item; false leaves the item in quarantine.
    bool Restore(const std::uint8_t (&md5)[16], const std::wstring& path);
    // Gives a file written back from an item the times the original had;
    // call it after the last write, which would change them.
    static bool SetOriginalTimes(HANDLE file, const QuarantineRecord& record);

private:
    bool EnsureFolder() const;
    std::optional<std::wstring> FindItem(const std::uint8_t (&md5)[16]) const;

    const std::wstring folder_;
};

} // namespace Substitute
