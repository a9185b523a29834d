#pragma once
// Registry reads with the enumerators' fixed limits: names and values of at
// most 260 characters. A value that does not fit, or that fills the buffer
// without a terminator, is not read, so nothing downstream can run past the
// buffer; callers skip it and go on. A failed call leaves its out-parameters
// (names) as they were; the value read is this object's own state, empty
// after a failed read.
#include <windows.h>

#include <string>
#include <vector>

#include "foundation/RCHandles.h"

namespace RC {

// The registry view a walk reads. On 64-bit Windows a registry enumerator
// walks twice: first through the 64-bit view (KEY_WOW64_64KEY), then through
// the process's own. The view also decides how the paths found are mapped to
// files: a path read in the 64-bit view is looked for in the 32-bit file view
// (System32 as SysWOW64, Program Files as Program Files (x86)), one read in
// the own view out of Program Files (x86). MapsToSysWow64 names that second
// meaning where the translation uses it.
enum class RCRegView { Own, Wide64 };

constexpr bool MapsToSysWow64(RCRegView view)
{
    return view == RCRegView::Wide64;
}

class RCRegValue {
public:
    static constexpr DWORD kMaxChars = 260;

    enum class EnumResult { Ok, Skip, End };

    // KEY_READ, plus KEY_WOW64_64KEY for the 64-bit view; invalid on failure.
    [[nodiscard]] static unique_hkey OpenKey(HKEY root, const wchar_t* subKey, RCRegView view);
    // The name of the sub key at index; Skip for a name over the limit.
    [[nodiscard]] static EnumResult EnumSubKey(HKEY key, DWORD index, std::wstring& name);

    // A named value (null: the default value). False leaves the text empty.
    [[nodiscard]] bool Read(HKEY key, const wchar_t* name);
    // The value at index with its name; Skip for a name or data over the limit.
    [[nodiscard]] EnumResult ReadAt(HKEY key, DWORD index, std::wstring& name);

    DWORD Type() const { return type_; }
    // The data as text, whatever its type.
    const wchar_t* Text() const { return data_; }
    // The strings of a multi-string list up to the empty one that ends it.
    std::vector<std::wstring> Strings() const;

private:
    void Clear();
    bool IsTerminated() const { return data_[kMaxChars - 1] == L'\0'; }

    // One unit more than the registry is told, always zero.
    wchar_t data_[kMaxChars + 1] = {};
    DWORD type_ = REG_NONE;
};

} // namespace RC
