// The registry operations of RCAvEnumIMPL. A key or value that cannot be
// opened or read is passed over without a message, and a failure while firing
// ends only the operation it happened in: the enumerator goes on.
#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"

#include "Src/Engine/Enumerator/RCRegValue.h"

namespace RC {

bool RCAvEnumIMPL::FireRegValue(HKEY key, const wchar_t* valueName, RCRegView view)
{
    try {
        RCRegValue value;
        if (!value.Read(key, valueName))
            return false;
        switch (value.Type()) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            FireRegistryValue(value.Text(), std::wstring(), view);
            return true;
        case REG_MULTI_SZ:
            // One value is one item: a stop ends the walk before the next
            // value, not between the strings of this one.
            for (const std::wstring& text : value.Strings())
                FireRegistryValue(text, std::wstring(), view);
            return true;
        default:
            return false;
        }
    } catch (...) {
        return false;
    }
}

void RCAvEnumIMPL::FireRegKeyValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName, RCRegView view)
{
    unique_hkey key = RCRegValue::OpenKey(root, subKey, view);
    if (key)
        FireRegValue(key.get(), valueName, view);
}

void RCAvEnumIMPL::EnumRegValues(HKEY root, const wchar_t* subKey, bool useData, RCRegView view)
{
    try {
        unique_hkey key = RCRegValue::OpenKey(root, subKey, view);
        if (!key)
            return;
        RCRegValue value;
        std::wstring name;
        for (DWORD index = 0; !IsStopped(); ++index) {
            // The data is read even when only the name is fired, so that a
            // value too long to read is passed over in both modes.
            const RCRegValue::EnumResult read = value.ReadAt(key.get(), index, name);
            if (read == RCRegValue::EnumResult::End)
                break;
            if (read == RCRegValue::EnumResult::Ok)
                FireRegistryValue(useData ? std::wstring(value.Text()) : name, std::wstring(), view);
        }
    } catch (...) {
    }
}

template <class Visit>
void RCAvEnumIMPL::ForEachSubKey(HKEY root, const wchar_t* subKey, RCRegView view, Visit visit)
{
    unique_hkey key = RCRegValue::OpenKey(root, subKey, view);
    if (!key)
        return;
    std::wstring name;
    for (DWORD index = 0; !IsStopped(); ++index) {
        const RCRegValue::EnumResult read = RCRegValue::EnumSubKey(key.get(), index, name);
        if (read == RCRegValue::EnumResult::End)
            break;
        if (read == RCRegValue::EnumResult::Ok)
            visit(key.get(), name);
    }
}

void RCAvEnumIMPL::EnumRegSubKeyValues(HKEY root, const wchar_t* subKey, const std::vector<std::wstring>& valueNames,
                                       RCRegView view)
{
    try {
        ForEachSubKey(root, subKey, view, [&](HKEY key, const std::wstring& name) {
            unique_hkey child = RCRegValue::OpenKey(key, name.c_str(), view);
            if (!child)
                return;
            for (const std::wstring& valueName : valueNames)
                FireRegValue(child.get(), valueName.c_str(), view);
        });
    } catch (...) {
    }
}

void RCAvEnumIMPL::EnumRegClsidSubKeys(HKEY root, const wchar_t* subKey, RCRegView view)
{
    try {
        ForEachSubKey(root, subKey, view, [&](HKEY key, const std::wstring& name) {
            // The key is named after the class, or its default value names it.
            std::wstring clsid;
            if (!name.empty() && name.front() == L'{') {
                clsid = name.substr(0, kClsidLength);
            } else if (unique_hkey child = RCRegValue::OpenKey(key, name.c_str(), view)) {
                RCRegValue value;
                if (value.Read(child.get(), nullptr) && value.Text()[0] == L'{')
                    clsid = std::wstring(value.Text()).substr(0, kClsidLength);
            }
            FireRegistryValue(clsid, std::wstring(), view);
        });
    } catch (...) {
    }
}

void RCAvEnumIMPL::FireRegText(HKEY key, const wchar_t* valueName, RCRegView view)
{
    RCRegValue value;
    if (value.Read(key, valueName))
        FireRegistryValue(value.Text(), std::wstring(), view);
}

void RCAvEnumIMPL::FireVerbCommand(HKEY classes, const std::wstring& className, const wchar_t* verb, RCRegView view)
{
    const std::wstring command = className + L"\\shell\\" + verb + L"\\command";
    if (unique_hkey key = RCRegValue::OpenKey(classes, command.c_str(), view))
        FireRegText(key.get(), nullptr, view);
}

void RCAvEnumIMPL::EnumRegLocation(const RCRegLocation& location, RCRegView view)
{
    const HKEY root = location.root;
    const wchar_t* const key = location.key;
    const wchar_t* const firstName = location.names[0];
    switch (location.read) {
    case RCRegRead::ValueData:
    case RCRegRead::ValueNames:
        EnumRegValues(root, key, location.read == RCRegRead::ValueData, view);
        break;
    case RCRegRead::ClassSubKeys:
        EnumRegClsidSubKeys(root, key, view);
        break;
    case RCRegRead::SubKeyValues: {
        std::vector<std::wstring> names;
        for (const wchar_t* name : location.names) {
            if (name)
                names.emplace_back(name);
        }
        EnumRegSubKeyValues(root, key, names, view);
        break;
    }
    case RCRegRead::Value:
        for (const wchar_t* name : location.names) {
            if (name)
                FireRegKeyValue(root, key, name, view);
        }
        break;
    case RCRegRead::SubKeyText:
        ForEachSubKey(root, key, view, [&](HKEY parent, const std::wstring& name) {
            if (unique_hkey child = RCRegValue::OpenKey(parent, name.c_str(), view))
                FireRegText(child.get(), firstName, view);
        });
        break;
    case RCRegRead::KeyText:
        if (unique_hkey opened = RCRegValue::OpenKey(root, key, view))
            FireRegText(opened.get(), firstName, view);
        break;
    case RCRegRead::ClassVerbs:
        ForEachSubKey(root, key, view, [&](HKEY classes, const std::wstring& name) {
            for (const wchar_t* verb : location.names) {
                if (verb)
                    FireVerbCommand(classes, name, verb, view);
            }
        });
        break;
    }
}

void RCAvEnumIMPL::EnumRegLocations(RCRegReader reader, RCRegView view)
{
    // A throw in one row ends that row; the view's other rows are still read.
    for (const RCRegLocation* location : RCRegLocationsOf(reader, GetShowType())) {
        try {
            EnumRegLocation(*location, view);
        } catch (...) {
        }
    }
}

} // namespace RC
