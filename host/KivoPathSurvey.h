#pragma once
// The paths of a custom scan, looked at before the module walks them. The
// module lists every file under its roots but never sees a file whose path is
// too long for the engine, and it scans only files of its fifteen extensions:
// so that a scan can say what it did not scan, kivoscan walks the same trees
// the same way (reparse points not entered) and counts. It also sorts out the
// given paths: each is handed over once, and one that names nothing, or no
// file or folder, is reported instead of ending the run.
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace KivoHost {

class KivoPathSurvey {
public:
    // The longest path the engine takes (its path field holds 260 units with
    // the terminating zero).
    static constexpr size_t kLongestPath = 259;
    // Paths kept of the files not scanned; the rest are only counted.
    static constexpr size_t kKeptPaths = 20;

    struct Refused {
        std::wstring path;   // as given
        std::wstring reason; // "no such file or folder", ...
    };

    // given: the paths as typed, relative ones against the current folder.
    // stop, when it turns true, ends the walk early (see interrupted()).
    explicit KivoPathSurvey(const std::vector<std::wstring>& given, const std::atomic<int>* stop = nullptr);

    // True when stop ended the walk: the counts are then incomplete.
    bool interrupted() const { return interrupted_; }

    // Full paths to hand to the module, each once, none inside another.
    const std::vector<std::wstring>& roots() const { return roots_; }
    const std::vector<Refused>& refused() const { return refused_; }
    // Given paths left out because another given path covers them.
    const std::vector<std::wstring>& repeated() const { return repeated_; }
    // Files the module will list, and of those the ones it will scan.
    uint32_t listed() const { return listed_; }
    uint32_t scannable() const { return scannable_; }
    // Files given by name that the module will list but not scan (their
    // extension is not one of its fifteen): the user asked for each.
    const std::vector<std::wstring>& namedNotScanned() const { return namedNotScanned_; }
    // Files whose folder holds another name that differs only in letter case
    // (a case-sensitive file system seen through Windows): Windows opens one
    // of them by either name, so neither is reliably scanned. Named ones only.
    const std::vector<std::wstring>& caseTwins() const { return caseTwins_; }
    // Files the module will never see: their paths are too long.
    uint32_t tooLong() const { return tooLong_; }
    const std::vector<std::wstring>& tooLongPaths() const { return tooLongPaths_; }

    // Whether the module scans a file of this name (its extension filter).
    static bool HasScannedExtension(const std::wstring& path);
    // The absolute form of a path, without a trailing separator.
    static std::wstring FullPath(const std::wstring& path);

private:
    class Walk;
    void AddRoot(const std::wstring& given, const std::wstring& full, bool folder);
    void CountFile(const std::wstring& path);

    std::vector<std::wstring> roots_;
    std::vector<bool> rootIsFolder_;
    std::vector<Refused> refused_;
    std::vector<std::wstring> repeated_;
    std::vector<std::wstring> namedNotScanned_;
    std::vector<std::wstring> caseTwins_;
    struct NoCaseLess {
        bool operator()(const std::wstring& left, const std::wstring& right) const;
    };
    std::set<std::wstring, NoCaseLess> seen_;
    const std::atomic<int>* stop_;
    bool interrupted_ = false;
    uint32_t listed_ = 0;
    uint32_t scannable_ = 0;
    uint32_t tooLong_ = 0;
    std::vector<std::wstring> tooLongPaths_;
};

} // namespace KivoHost
