#pragma once
// The engine's quarantine folder as kivoscan reads it. The bus has no request
// that lists quarantined files, so kivoscan reads the item headers the engine
// wrote. Moving files in and out is the engine's (operations 1 and 4), but
// operation 4 restores only a file the engine still detects: a file it no
// longer detects (a false positive whose signature is gone) kivoscan writes
// back itself and drops the item.
#include <cstdint>
#include <string>
#include <vector>

namespace KivoHost {

class KivoQuarantine {
public:
    struct Item {
        std::wstring md5; // 32 upper-case hex digits
        std::wstring threatName;
        std::wstring originalPath;
        uint64_t size = 0;
        uint64_t time = 0;     // FILETIME of the quarantine
        std::wstring itemPath; // the item file in the quarantine folder
    };

    explicit KivoQuarantine(std::wstring folder) : folder_(std::move(folder)) {}

    // Every readable item, oldest first; nothing for a missing folder.
    std::vector<Item> List() const;
    // Writes the item's original bytes to path, which must not exist yet,
    // with the original's times. False leaves nothing at path.
    [[nodiscard]] static bool WriteCopy(const Item& item, const std::wstring& path);
    // Deletes the item from the quarantine folder.
    [[nodiscard]] static bool Remove(const Item& item);

private:
    const std::wstring folder_;
};

} // namespace KivoHost
