#pragma once

#include <string>

// Path flags for RCNormalizePath. When several are given they apply in the
// order listed here.
enum RCPathFlags : unsigned {
    RC_PATH_LOWER = 1,              // towlower every character
    RC_PATH_UPPER = 2,              // towupper every character
    RC_PATH_UNQUOTE = 4,            // drop one enclosing pair of "" then of ''
    RC_PATH_ADD_BACKSLASH = 16,     // trailing separators become one backslash
    RC_PATH_REMOVE_BACKSLASH = 32,  // drop every trailing separator
    RC_PATH_BACKSLASHES = 1u << 30, // every "/" becomes "\"
};

void RCNormalizePath(std::wstring& path, unsigned flags);

// folder + name with exactly one backslash between them; an absolute name
// stands on its own.
std::wstring RCPathJoin(const std::wstring& folder, const std::wstring& name);

// "\\server\..." or "X:\..." (either separator).
bool RCIsAbsolutePath(const std::wstring& path);

// The text after the last "\" or "/" (all of it when there is none).
std::wstring RCGetFileName(const std::wstring& path);

// The folder of the path's full form, ending with "\".
bool RCGetFolder(const std::wstring& path, std::wstring& folder);

// "\\?\" + path for a drive path longer than "X:", so that the call can pass
// the MAX_PATH limit; other paths are copied and the result is false.
bool RCToLongPath(const std::wstring& path, std::wstring& longPath);
