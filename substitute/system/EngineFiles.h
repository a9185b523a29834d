#pragma once
// File-system helpers of the substitute engine. Everything the engine keeps
// (signatures, quarantine, controls, the forwarded-file list) lives beside
// the engine library itself, so a copy of the engine in another folder is an
// independent engine.

#include <cstdint>
#include <optional>
#include <string>

namespace Substitute {

class EngineFiles {
public:
    // Folder of the library this code is linked into, without a trailing backslash.
    static std::wstring ModuleFolder();
    static std::wstring Join(const std::wstring& folder, const std::wstring& name);
    // The whole file, or nothing when it cannot be read or exceeds maxBytes.
    static std::optional<std::string> ReadSmallFile(const std::wstring& path, std::uint64_t maxBytes);
    // UTF-16 text from UTF-16LE with a byte order mark, otherwise UTF-8.
    static std::wstring DecodeText(const std::string& bytes);
    static std::string EncodeUtf8(const std::wstring& text);
    // Appends in one write, so lines of concurrent writers never interleave.
    static bool AppendToFile(const std::wstring& path, const std::string& bytes);
    // True when the path or any folder above it is a reparse point (a link
    // or junction), or when the path does not exist.
    static bool CrossesReparsePoint(const std::wstring& path);
    // True when what the handle opened is what the path names as written: no
    // link, junction or mount point on the way led the open somewhere else.
    // Checked after opening, so a folder swapped for a link between a check
    // and the open cannot slip through.
    static bool IsOpenedAs(void* file, const std::wstring& path);
};

} // namespace Substitute
