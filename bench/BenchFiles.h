#pragma once
// What the benchmark programs share: the files under a folder, listed before
// the clock starts, and the process's peak working set.
#include <string>
#include <vector>

namespace Bench {

// Files under each root, depth first; links and junctions are not followed.
std::vector<std::wstring> ListFiles(const std::vector<std::wstring>& roots);

double PeakWorkingSetMiB();

} // namespace Bench
