#include "foundation/RCLogConfig.h"

#include "foundation/RCString.h"

#include <rapidxml/rapidxml.hpp>

#include <cstdlib>

namespace {

using Node = rapidxml::xml_node<char>;

struct Working {
    RCUtf8ToWideFn utf8ToWide;
    RCLogSetting setting;
    Node* element = nullptr;
};

// Applies every element from the first one named elementName onwards whose
// Name attribute equals wanted (any letter case; a missing Name is "").
bool Search(Node* parent, const char* elementName, const std::wstring& wanted, Working& working)
{
    bool matched = false;
    for (Node* node = parent->first_node(elementName); node; node = node->next_sibling()) {
        if (node->type() != rapidxml::node_element)
            continue;
        const rapidxml::xml_attribute<char>* name = node->first_attribute("Name");
        const std::wstring value = name ? working.utf8ToWide(std::string(name->value(), name->value_size())) : L"";
        if (!RCEqualsNoCase(value, wanted))
            continue;
        // atoi on purpose: a negative level wraps to a huge one and logs
        // everything, text that is not a number reads as 0.
        if (const auto* level = node->first_attribute("LogLevel"))
            working.setting.level = static_cast<unsigned>(std::atoi(level->value()));
        if (const auto* toFile = node->first_attribute("LogToFile"))
            working.setting.toFile = std::atoi(toFile->value()) == 1;
        working.element = node;
        matched = true;
    }
    return matched;
}

// rapidxml descends once per level of nesting, with no limit of its own: a
// deeply nested file would overflow the stack of whichever thread logs
// first. A configuration is a handful of elements, so every '<' that may open
// one counts, nested or not; that bound holds whatever quotes, comments or
// sections the document contains.
constexpr size_t kMaxElements = 512;

bool HasFewElements(const std::vector<char>& text)
{
    size_t opened = 0;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '<' && text[i + 1] != '/' && ++opened > kMaxElements)
            return false;
    }
    return true;
}

} // namespace

bool RCReadLogConfig(std::vector<char>& text, const std::wstring& processName, const std::wstring& moduleName,
                     RCUtf8ToWideFn utf8ToWide, RCLogSetting& setting)
{
    if (text.empty() || text.back() != '\0' || !HasFewElements(text))
        return false;
    rapidxml::xml_document<char> document;
    try {
        document.parse<0>(text.data());
    } catch (...) {
        return false;
    }

    Node* root = document.first_node("Root");
    if (!root)
        return false;
    Working working{utf8ToWide, RCLogSetting(), nullptr};
    if (!Search(root, "Global", L"", working))
        return false;
    if (Search(working.element, "Exe", processName, working) && !moduleName.empty())
        Search(working.element, "Module", moduleName, working);
    setting = working.setting;
    return true;
}
