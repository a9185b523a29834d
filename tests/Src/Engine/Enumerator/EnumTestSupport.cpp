#include "EnumTestSupport.h"

#include <shellapi.h>

namespace RC::test {

std::wstring UniqueName(const wchar_t* stem)
{
    static LONG counter = 0;
    return std::wstring(stem) + L"-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::InterlockedIncrement(&counter));
}

ScratchDir::ScratchDir(const std::wstring& parent)
{
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    m_path = (parent.empty() ? std::wstring(temp) : parent + L"\\") + UniqueName(L"KivoEnum");
    ::CreateDirectoryW(m_path.c_str(), nullptr);
}

ScratchDir::~ScratchDir()
{
    std::wstring from = m_path + L'\0'; // the list ends with a second zero
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&operation);
}

std::wstring ScratchDir::Make(const std::wstring& relative)
{
    const std::wstring path = m_path + L"\\" + relative;
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::wstring ScratchDir::Write(const std::wstring& relative, const std::string& bytes)
{
    const std::wstring path = m_path + L"\\" + relative;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return path;
}

ScratchKey::ScratchKey(HKEY root, const std::wstring& parent, bool wow64, const std::wstring& name)
    : m_root(root), m_parent(parent), m_name(name.empty() ? UniqueName(L"KivoEnumTest") : name),
      m_view(wow64 ? KEY_WOW64_64KEY : 0)
{
    m_subKey = m_parent.empty() ? m_name : m_parent + L"\\" + m_name;
    HKEY key = nullptr;
    ::RegCreateKeyExW(m_root, m_subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr, &key, nullptr);
    ::RegCloseKey(key);
}

ScratchKey::~ScratchKey()
{
    HKEY parent = nullptr;
    if (::RegOpenKeyExW(m_root, m_parent.c_str(), 0, KEY_ALL_ACCESS | m_view, &parent) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(parent, m_name.c_str());
        ::RegCloseKey(parent);
    }
}

void ScratchKey::SetString(const std::wstring& relative, const wchar_t* name, const std::wstring& value, DWORD type)
{
    const std::wstring path = relative.empty() ? m_subKey : m_subKey + L"\\" + relative;
    HKEY key = nullptr;
    ::RegCreateKeyExW(m_root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr, &key, nullptr);
    ::RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void ScratchKey::SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
{
    HKEY key = nullptr;
    ::RegOpenKeyExW(m_root, m_subKey.c_str(), 0, KEY_ALL_ACCESS | m_view, &key);
    ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), bytes);
    ::RegCloseKey(key);
}

ScopedPath::ScopedPath(const std::wstring& value)
{
    wchar_t buffer[32767] = {};
    ::GetEnvironmentVariableW(L"PATH", buffer, 32767);
    m_saved = buffer;
    ::SetEnvironmentVariableW(L"PATH", value.c_str());
}

ScopedPath::~ScopedPath()
{
    ::SetEnvironmentVariableW(L"PATH", m_saved.c_str());
}

} // namespace RC::test
