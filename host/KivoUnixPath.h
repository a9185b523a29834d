#pragma once
// Paths as kivoscan's messages show them: Windows paths, or under
// --unix-paths the Linux paths Wine maps them to, so that a user of the
// wrapper reads the paths they typed.
#include <string>

#include "host/KivoScanOptions.h"

namespace KivoHost {

// The Linux path of a file under Wine, as winepath -u gives it; the path
// itself where there is none (on Windows, or a path Wine cannot map).
std::wstring KivoUnixPath(const std::wstring& path);

// A path in a message: its Linux form under --unix-paths.
std::wstring KivoShown(const KivoScanOptions& options, const std::wstring& path);

} // namespace KivoHost
