#pragma once
// What the command-line programs around the engine share (quentor-scan and
// the benchmarks): the files under a folder, listed before the clock starts,
// and the process's peak working set.
#include <string>
#include <vector>

namespace Substitute {

// Files under each root, depth first; links and junctions are not followed.
std::vector<std::wstring> ListFiles(const std::vector<std::wstring>& roots);

double PeakWorkingSetMiB();

} // namespace Substitute
