#include "EngineCopy.h"

#include <bcrypt.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/EngineObjectIds.h"

namespace EngineTest {

namespace {

// The test programs run from C:\KivoTest, the tree's bin folder with the engine
// beside them. (Wine reports the module paths of that folder in a form that
// cannot be opened, so the folder is named here rather than asked for.)
constexpr wchar_t kBinFolder[] = L"C:\\KivoTest\\";

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string Hex(const wchar_t* algorithmName, const std::string& bytes)
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[64] = {};
    DWORD length = 0, got = 0;
    BCryptOpenAlgorithmProvider(&algorithm, algorithmName, nullptr, 0);
    BCryptGetProperty(algorithm, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&length), sizeof length, &got, 0);
    BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
    BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())), static_cast<ULONG>(bytes.size()), 0);
    BCryptFinishHash(hash, digest, length, 0);
    BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    std::string text;
    for (DWORD i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        text += pair;
    }
    return text;
}

} // namespace

EngineCopy::EngineCopy()
{
    static std::atomic<int> counter{0};
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"kivo-engine-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
    CreateDirectoryW(folder_.c_str(), nullptr);
    for (const wchar_t* library : {L"Quentor.dll", L"Halvane.dll"})
        EXPECT_TRUE(CopyFileW((std::wstring(kBinFolder) + library).c_str(), PathOf(library).c_str(), FALSE)) << GetLastError();
}

EngineCopy::~EngineCopy()
{
    for (auto& entry : modules_)
        FreeLibrary(entry.second);
    RemoveTree(folder_);
}

void EngineCopy::Write(const std::wstring& relative, const std::string& bytes) const
{
    WriteAll(PathOf(relative), bytes);
}

void WriteAll(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

std::string EngineCopy::Read(const std::wstring& relative) const
{
    return ReadAll(PathOf(relative));
}

std::vector<std::wstring> EngineCopy::List(const std::wstring& pattern) const
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(PathOf(pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(found.cFileName);
    while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

HMODULE EngineCopy::Module(const wchar_t* library)
{
    HMODULE& module = modules_[library];
    if (module == nullptr)
        module = LoadLibraryW(PathOf(library).c_str());
    return module;
}

void* EngineCopy::Create(const wchar_t* library, std::uint32_t objectId)
{
    auto create = reinterpret_cast<RC::CreateObjFn>(
        reinterpret_cast<void*>(GetProcAddress(Module(library), RC::kCreateObjExport)));
    void* object = nullptr;
    if (create == nullptr || create(objectId, &object) != 0)
        return nullptr;
    return object;
}

void EngineCopy::Destroy(const wchar_t* library, std::uint32_t objectId, void* object)
{
    auto destroy = reinterpret_cast<RC::DestroyObjFn>(
        reinterpret_cast<void*>(GetProcAddress(Module(library), RC::kDestroyObjExport)));
    if (destroy != nullptr)
        destroy(objectId, object);
}

void AnswerLog::Callback(void* context, std::uint32_t taskId, const wchar_t*, const RC::ScanResult* result)
{
    auto& log = *static_cast<AnswerLog*>(context);
    {
        std::lock_guard<std::mutex> guard(log.lock_);
        ++log.running_;
    }
    // Stay inside a little, so that a Stop that did not wait for callbacks
    // would be caught with one still running.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::lock_guard<std::mutex> guard(log.lock_);
    log.answers_.emplace(taskId, *result);
    --log.running_;
    log.arrived_.notify_all();
}

bool AnswerLog::WaitFor(std::size_t count)
{
    std::unique_lock<std::mutex> guard(lock_);
    return arrived_.wait_for(guard, std::chrono::seconds(120), [&] { return answers_.size() >= count; });
}

std::size_t AnswerLog::Count()
{
    std::lock_guard<std::mutex> guard(lock_);
    return answers_.size();
}

std::vector<RC::ScanResult> AnswerLog::For(std::uint32_t taskId)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<RC::ScanResult> results;
    const auto range = answers_.equal_range(taskId);
    for (auto it = range.first; it != range.second; ++it)
        results.push_back(it->second);
    return results;
}

int AnswerLog::Running()
{
    std::lock_guard<std::mutex> guard(lock_);
    return running_;
}

std::string Md5Hex(const std::string& bytes) { return Hex(BCRYPT_MD5_ALGORITHM, bytes); }
std::string Sha1Hex(const std::string& bytes) { return Hex(BCRYPT_SHA1_ALGORITHM, bytes); }
std::string Sha256Hex(const std::string& bytes) { return Hex(BCRYPT_SHA256_ALGORITHM, bytes); }

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace EngineTest
