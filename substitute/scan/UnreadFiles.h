#pragma once
// The files the engine could not read, for whoever drives the engine. The
// module's contract has no answer for "not read": the answer stays level 0,
// and the engine lists the file here instead, so that a host which promises
// that "clean" means "read" (kivoscan) can say what was not. One list per
// engine argument (the task), "Unread\<argument>.txt" beside the engine, one
// line "reason<TAB>path" (UTF-8) per file; the host reads and removes it.
// A file read whole whose container entries were not all read (a limit,
// damage, an encrypted entry) is listed too, with a reason that begins with
// kPartly: it was scanned, but its "clean" does not cover everything in it.
#include <string>
#include <utility>
#include <vector>

namespace Substitute {

class UnreadFiles {
public:
    struct Entry {
        std::wstring reason;
        std::wstring path;
    };

    static constexpr wchar_t kPartly[] = L"not fully scanned";

    static std::wstring ListPath(const std::wstring& engineFolder, const std::wstring& argument);
    // What a user reads for a system error of opening or reading a file.
    static std::wstring Reason(unsigned long error);
    static bool Record(const std::wstring& engineFolder, const std::wstring& argument, const std::wstring& path,
                       unsigned long error);
    // A file read whole, with what in it was not: kPartly + ": " + what.
    static bool RecordPartly(const std::wstring& engineFolder, const std::wstring& argument, const std::wstring& path,
                             const std::wstring& what);
    static bool Partly(const Entry& entry) { return entry.reason.rfind(kPartly, 0) == 0; }
    // The list's entries, and the list gone.
    static std::vector<Entry> Take(const std::wstring& engineFolder, const std::wstring& argument);
};

} // namespace Substitute
