#pragma once
// Switches that let tests reach the slow, silent, duplicate and refusal paths
// of the engine's callers on purpose. They come from Quentor.ini beside the
// engine, only when that file exists:
//
//   DelayMs=50              every answer waits this long first
//   Workers=1               size of the worker pool (default: one per core)
//   NeverAnswer=PATH        accepted, never answered
//   AnswerTwice=PATH        answered twice
//   Refuse=PATH             AddQuery says no
//
// A path entry may repeat; it matches a query's full path, or only its file
// name when the entry holds no backslash (case-insensitive either way).
// Section headers, blank lines and lines starting with ';' or '#' are
// ignored. Parsing is pure: the caller reads and decodes the file.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Substitute {

class TestControls {
public:
    static TestControls Parse(std::wstring_view text);

    std::uint32_t DelayMs() const { return delayMs_; }
    std::uint32_t Workers() const { return workers_; }
    bool NeverAnswers(std::wstring_view path) const { return Matches(neverAnswer_, path); }
    bool AnswersTwice(std::wstring_view path) const { return Matches(answerTwice_, path); }
    bool Refuses(std::wstring_view path) const { return Matches(refuse_, path); }

private:
    static bool Matches(const std::vector<std::wstring>& entries, std::wstring_view path);

    std::uint32_t delayMs_ = 0;
    std::uint32_t workers_ = 0;
    std::vector<std::wstring> neverAnswer_;
    std::vector<std::wstring> answerTwice_;
    std::vector<std::wstring> refuse_;
};

} // namespace Substitute
