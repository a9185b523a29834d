#pragma once
// The substitute engine beside this program (a copy of its own: OWN_ENGINE),
// loaded as a foreign host loads it and driven by raw vtable slots, so that a
// slot moved in the engine's interfaces fails here. Every case starts without
// signatures, controls, quarantine or lists of files not read.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "Src/Engine/Enumerator/EnumTestSupport.h"
#include "engine/EngineObjectIds.h"
#include "engine/MsvcWString.h"
#include "engine/ThreatOperation4Request.h"
#include "substitute/hash/FileHasher.h"
#include "support/TestData.h"

// Slot `slot` of an engine object, called as MSVC code calls it: __thiscall.
template <typename R, typename... A>
R CallSlot(void* object, int slot, A... args)
{
    return reinterpret_cast<R(__thiscall*)(void*, A...)>((*static_cast<void***>(object))[slot])(object, args...);
}

// What a scan of these bytes answers: level 3 and the file's MD5 at byte 404,
// the key of the quarantine.
inline RC::ScanResult ResultFor(const std::string& bytes)
{
    RC::ScanResult result{};
    result.level = 3;
    Substitute::FileHasher hasher;
    hasher.Begin({true, false, false});
    hasher.Update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    hasher.Finish();
    std::memcpy(result.fileMd5, hasher.Digest(Substitute::HashKind::Md5), 16);
    return result;
}

class EngineTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const wchar_t* name : {L"signatures", L"Quarantine", L"Quentor.ini", L"Unread"}) {
            const std::wstring from = Beside(name) + L'\0'; // the list ends with a second zero
            SHFILEOPSTRUCTW remove{nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI, FALSE, nullptr, nullptr};
            SHFileOperationW(&remove);
        }
        ASSERT_TRUE(CreateDirectoryW(Beside(L"signatures").c_str(), nullptr));
        quentor_.reset(LoadLibraryW(Beside(L"Quentor.dll").c_str()));
        halvane_.reset(LoadLibraryW(Beside(L"Halvane.dll").c_str()));
        ASSERT_TRUE(quentor_ && halvane_);
        threats_ = Create(halvane_.get(), RC::kThreatOperatorObjectId, true);
        CallSlot<void>(threats_, 0);
    }
    void TearDown() override
    {
        for (auto destroy = destroys_.rbegin(); destroy != destroys_.rend(); ++destroy)
            (*destroy)();
    }

    static std::wstring Beside(const std::wstring& name) { return RCGetExeFolder() + name; }
    static void Write(const std::wstring& path, const std::string& bytes)
    {
        EXPECT_TRUE(std::ofstream(path.c_str(), std::ios::binary) << bytes) << path;
    }
    // Destroyed when the case ends, after its UnInit (slot 1) where it has one.
    void* Create(HMODULE library, std::uint32_t id, bool uninit)
    {
        void* object = nullptr;
        EXPECT_EQ(0u, Export<RC::CreateObjFn>(library, RC::kCreateObjExport)(id, &object));
        destroys_.push_back([=] {
            if (uninit && object != nullptr)
                CallSlot<void>(object, 1);
            Export<RC::DestroyObjFn>(library, RC::kDestroyObjExport)(id, object);
        });
        return object;
    }
    // A proxy as the product's queue sets it up, answering into this fixture.
    void* Proxy()
    {
        void* proxy = Create(quentor_.get(), RC::kScanProxyObjectId, true);
        CallSlot<void>(proxy, 0, L"Task-1");
        CallSlot<void>(proxy, 7, static_cast<void*>(this), &EngineTest::OnAnswer);
        return proxy;
    }
    // One run: Start, the paths as the next query ids, EndOfQueries, every answer, Stop.
    std::vector<RC::ScanResult> Scan(void* proxy, const std::vector<std::wstring>& paths)
    {
        const std::uint32_t first = static_cast<std::uint32_t>(Answers().size()) + 1;
        CallSlot<void>(proxy, 3);
        for (std::uint32_t i = 0; i < paths.size(); ++i)
            EXPECT_TRUE(CallSlot<bool>(proxy, 5, first + i, paths[i].c_str()));
        CallSlot<void>(proxy, 6);
        {
            // Generous: a bound against a hang, not a timing check.
            std::unique_lock<std::mutex> guard(lock_);
            EXPECT_TRUE(arrived_.wait_for(guard, std::chrono::seconds(120),
                                          [&] { return answers_.size() >= first - 1 + paths.size(); }));
        }
        CallSlot<void>(proxy, 4);
        const auto answers = Answers();
        std::vector<RC::ScanResult> results;
        for (std::uint32_t id = first; id < first + paths.size(); ++id)
            results.push_back(answers.count(id) ? answers.find(id)->second : RC::ScanResult{});
        return results;
    }
    std::multimap<std::uint32_t, RC::ScanResult> Answers()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return answers_;
    }
    bool Quarantine(const std::wstring& path, const RC::ScanResult& result)
    {
        const RC::MsvcWString text(path.c_str(), path.size());
        return CallSlot<bool>(threats_, 2, &text, &result);
    }
    bool Restore(const std::wstring& path, const RC::ScanResult& result)
    {
        RC::ThreatOperation4Request request;
        RC::BuildThreatOperation4Request(path.c_str(), path.size(), result, request);
        return CallSlot<bool>(threats_, 6, static_cast<const RC::ThreatOperation4Request*>(&request));
    }
    // Full paths of the quarantine's files that match the pattern.
    std::vector<std::wstring> Quarantined(const wchar_t* pattern = L"*.qtn")
    {
        std::vector<std::wstring> paths;
        WIN32_FIND_DATAW found{};
        RC::unique_hfind find(FindFirstFileW((Beside(L"Quarantine\\") + pattern).c_str(), &found));
        for (bool more = static_cast<bool>(find); more; more = FindNextFileW(find.get(), &found))
            paths.push_back(Beside(L"Quarantine\\") + found.cFileName);
        return paths;
    }

    RC::test::ScratchDir files_;
    RC::unique_hmodule quentor_, halvane_;
    std::atomic<int> running_{0}; // answers still inside the callback

private:
    template <class Fn>
    static Fn Export(HMODULE library, const char* name)
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    }
    static void __cdecl OnAnswer(void* context, std::uint32_t taskId, const wchar_t*, const RC::ScanResult* result)
    {
        EngineTest& test = *static_cast<EngineTest*>(context);
        ++test.running_;
        // Stay inside a little, so that a Stop that returns before its
        // callbacks have would be caught with one still running.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::lock_guard<std::mutex> guard(test.lock_);
        --test.running_;
        test.answers_.emplace(taskId, *result);
        test.arrived_.notify_all();
    }

    std::vector<std::function<void()>> destroys_;
    void* threats_ = nullptr;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::multimap<std::uint32_t, RC::ScanResult> answers_;
};
