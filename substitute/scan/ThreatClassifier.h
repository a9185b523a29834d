#pragma once
// Level and sub-level of a detection from its name. Names follow ClamAV's
// convention Platform.Category.Name-Id, or PUA.Platform.Category.Name-Id for
// potentially unwanted software, so the category is the second token (the
// third after "PUA"). Pure: no system calls.

#include <cstdint>
#include <string_view>

namespace Substitute {

struct ThreatClass {
    std::uint32_t level;
    std::uint32_t subLevel;
};

class ThreatClassifier {
public:
    static ThreatClass Classify(std::wstring_view name);
};

} // namespace Substitute
