// The registry operations of RCAvEnumIMPL. A key or value that cannot be
// opened or read is passed over without a message, and a failure while firing
// ends only the operation it happened in: the enumerator goes on.
#include "Src/Engine/Enumerator/RCAvEnumIMPL.h"

#include "Src/Engine/Enumerator/RCRegValue.h"

namespace RC {

bool RCAvEnumIMPL::FireRegValue(HKEY key, const wchar_t* valueName, bool wow64)
{
    try {
        RCRegValue value;
        if (!value.Read(key, valueName))
            return false;
        switch (value.Type()) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            FireRegistryValue(value.Text(), std::wstring(), wow64);
            return true;
        case REG_MULTI_SZ:
            // One value is one item: a stop ends the walk before the next
            // value, not between the strings of this one.
            for (const std::wstring& text : value.Strings())
                FireRegistryValue(text, std::wstring(), wow64);
            return true;
        default:
            return false;
        }
    } catch (...) {
        return false;
    }
}

void RCAvEnumIMPL::FireRegKeyValue(HKEY root, const wchar_t* subKey, const wchar_t* valueName, bool wow64)
{
    unique_hkey key = RCRegValue::OpenKey(root, subKey, wow64);
    if (key)
        FireRegValue(key.get(), valueName, wow64);
}

void RCAvEnumIMPL::EnumRegValues(HKEY root, const wchar_t* subKey, bool useData, bool wow64)
{
    try {
        unique_hkey key = RCRegValue::OpenKey(root, subKey, wow64);
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
                FireRegistryValue(useData ? std::wstring(value.Text()) : name, std::wstring(), wow64);
        }
    } catch (...) {
    }
}

template <class Visit>
void RCAvEnumIMPL::ForEachSubKey(HKEY root, const wchar_t* subKey, bool wow64, Visit visit)
{
    unique_hkey key = RCRegValue::OpenKey(root, subKey, wow64);
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
                                       bool wow64)
{
    try {
        ForEachSubKey(root, subKey, wow64, [&](HKEY key, const std::wstring& name) {
            unique_hkey child = RCRegValue::OpenKey(key, name.c_str(), wow64);
            if (!child)
                return;
            for (const std::wstring& valueName : valueNames)
                FireRegValue(child.get(), valueName.c_str(), wow64);
        });
    } catch (...) {
    }
}

void RCAvEnumIMPL::EnumRegClsidSubKeys(HKEY root, const wchar_t* subKey, bool wow64)
{
    try {
        ForEachSubKey(root, subKey, wow64, [&](HKEY key, const std::wstring& name) {
            // The key is named after the class, or its default value names it.
            std::wstring clsid;
            if (!name.empty() && name.front() == L'{') {
                clsid = name.substr(0, kClsidLength);
            } else if (unique_hkey child = RCRegValue::OpenKey(key, name.c_str(), wow64)) {
                RCRegValue value;
                if (value.Read(child.get(), nullptr) && value.Text()[0] == L'{')
                    clsid = std::wstring(value.Text()).substr(0, kClsidLength);
            }
            FireRegistryValue(clsid, std::wstring(), wow64);
        });
    } catch (...) {
    }
}

void RCAvEnumIMPL::FireRegText(HKEY key, const wchar_t* valueName, bool wow64)
{
    RCRegValue value;
    if (value.Read(key, valueName))
        FireRegistryValue(value.Text(), std::wstring(), wow64);
}

void RCAvEnumIMPL::FireVerbCommand(HKEY classes, const std::wstring& className, const wchar_t* verb, bool wow64)
{
    const std::wstring command = className + L"\\shell\\" + verb + L"\\command";
    if (unique_hkey key = RCRegValue::OpenKey(classes, command.c_str(), wow64))
        FireRegText(key.get(), nullptr, wow64);
}

void RCAvEnumIMPL::EnumRegLocation(const RCRegLocation& location, bool wow64)
{
    const HKEY root = location.root;
    const wchar_t* const key = location.key;
    const wchar_t* const firstName = location.names[0];
    switch (location.read) {
    case RCRegRead::ValueData:
    case RCRegRead::ValueNames:
        EnumRegValues(root, key, location.read == RCRegRead::ValueData, wow64);
        break;
    case RCRegRead::ClassSubKeys:
        EnumRegClsidSubKeys(root, key, wow64);
        break;
    case RCRegRead::SubKeyValues: {
        std::vector<std::wstring> names;
        for (const wchar_t* name : location.names) {
            if (name)
                names.emplace_back(name);
        }
        EnumRegSubKeyValues(root, key, names, wow64);
        break;
    }
    case RCRegRead::Value:
        for (const wchar_t* name : location.names) {
            if (name)
                FireRegKeyValue(root, key, name, wow64);
        }
        break;
    case RCRegRead::SubKeyText:
        ForEachSubKey(root, key, wow64, [&](HKEY parent, const std::wstring& name) {
            if (unique_hkey child = RCRegValue::OpenKey(parent, name.c_str(), wow64))
                FireRegText(child.get(), firstName, wow64);
        });
        break;
    case RCRegRead::KeyText:
        if (unique_hkey opened = RCRegValue::OpenKey(root, key, wow64))
            FireRegText(opened.get(), firstName, wow64);
        break;
    case RCRegRead::ClassVerbs:
        ForEachSubKey(root, key, wow64, [&](HKEY classes, const std::wstring& name) {
            for (const wchar_t* verb : location.names) {
                if (verb)
                    FireVerbCommand(classes, name, verb, wow64);
            }
        });
        break;
    }
}

void RCAvEnumIMPL::EnumRegLocations(RCRegReader reader, bool wow64)
{
    try {
        for (const RCRegLocation* location : RCRegLocationsOf(reader, GetShowType()))
            EnumRegLocation(*location, wow64);
    } catch (...) {
    }
}

} // namespace RC
