#include "substitute/scan/ThreatClassifier.h"

#include "engine/ScanResult.h"
#include "substitute/system/TextCompare.h"

#include <cwctype>
#include <vector>

namespace Substitute {

namespace {

using RC::kLevelRisk;
using RC::kLevelThreat;

struct CategoryRow {
    const wchar_t* token;
    ThreatClass verdict;
};

// Categories of malware; anything else (Test included) is 3/2.
constexpr CategoryRow kMalwareCategories[] = {
    {L"Trojan", {kLevelThreat, 0}},     {L"Backdoor", {kLevelThreat, 0}}, {L"Worm", {kLevelThreat, 0}},
    {L"Ransomware", {kLevelThreat, 0}}, {L"Exploit", {kLevelThreat, 0}},  {L"Downloader", {kLevelThreat, 0}},
    {L"Dropper", {kLevelThreat, 0}},    {L"Virus", {kLevelThreat, 1}},    {L"Infector", {kLevelThreat, 1}},
};
constexpr ThreatClass kOtherMalware{kLevelThreat, 2};

// Categories of potentially unwanted software; anything else is 2/0.
constexpr CategoryRow kPuaCategories[] = {
    {L"Adware", {kLevelRisk, 1}},   {L"Spyware", {kLevelRisk, 1}}, {L"Plugin", {kLevelRisk, 1}},
    {L"Toolbar", {kLevelRisk, 1}},  {L"Bundler", {kLevelRisk, 2}}, {L"Installer", {kLevelRisk, 2}},
    {L"GameHack", {kLevelRisk, 3}}, {L"Cheat", {kLevelRisk, 3}},
};
constexpr ThreatClass kOtherPua{kLevelRisk, 0};

std::vector<std::wstring_view> Tokens(std::wstring_view name)
{
    std::vector<std::wstring_view> tokens;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find(L'.', start);
        tokens.push_back(name.substr(start, dot == std::wstring_view::npos ? dot : dot - start));
        if (dot == std::wstring_view::npos)
            return tokens;
        start = dot + 1;
    }
}

template <std::size_t N>
ThreatClass Lookup(const CategoryRow (&table)[N], const std::vector<std::wstring_view>& tokens, std::size_t position,
                   ThreatClass otherwise)
{
    if (position >= tokens.size())
        return otherwise;
    for (const CategoryRow& row : table)
        if (EqualsNoCase(tokens[position], row.token))
            return row.verdict;
    return otherwise;
}

} // namespace

ThreatClass ThreatClassifier::Classify(std::wstring_view name)
{
    const std::vector<std::wstring_view> tokens = Tokens(name);
    if (tokens.size() > 1 && EqualsNoCase(tokens[0], L"PUA"))
        return Lookup(kPuaCategories, tokens, 2, kOtherPua);
    return Lookup(kMalwareCategories, tokens, 1, kOtherMalware);
}

} // namespace Substitute
