#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "Src/Engine/Enumerator/RCAvEnumMemFile.h"
#include "EnumTestSupport.h"
#include "foundation/RCFileSystem.h"
#include "foundation/RCProcessList.h"
#include "foundation/RCString.h"

using namespace RC;
using namespace RC::test;

namespace {

// -1 when the process token no longer holds SeDebugPrivilege, else its attributes.
long DebugPrivilegeAttributes()
{
    unique_handle token;
    LUID debug = {};
    alignas(TOKEN_PRIVILEGES) BYTE buffer[4096];
    DWORD bytes = 0;
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer);
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
        ::LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &debug) &&
        ::GetTokenInformation(token.get(), TokenPrivileges, buffer, sizeof(buffer), &bytes)) {
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID& id = privileges->Privileges[i].Luid;
            if (id.LowPart == debug.LowPart && id.HighPart == debug.HighPart)
                return static_cast<long>(privileges->Privileges[i].Attributes);
        }
    }
    return -1;
}

// Records the token's privilege at the first path.
struct MemorySink : RecordingSink {
    long privilegeDuringWalk = 0;
    bool OnEnumFile(IAvEnumFile* enumerator, const std::wstring& path, const std::wstring& subItem) override
    {
        if (files.empty())
            privilegeDuringWalk = DebugPrivilegeAttributes();
        return RecordingSink::OnEnumFile(enumerator, path, subItem);
    }
};

// Stopped after Enum began and before the walk reaches the first process.
struct StoppedBeforeWalk : RCAvEnumMemFile {
    StoppedBeforeWalk() : RCAvEnumMemFile(0x01, 17) {}
    void EnumImpl() override { Stop(), RCAvEnumMemFile::EnumImpl(); }
};

// A walk that throws, here at its first module.
struct ThrowingWalk : RCAvEnumMemFile {
    ThrowingWalk() : RCAvEnumMemFile(0x01, 17) {}
    bool FireFileEnumEvent(const std::wstring&, const std::wstring&) override { throw std::bad_alloc(); }
};

std::vector<std::wstring> Walk(MemorySink& sink)
{
    return RunOnce(new RCAvEnumMemFile(0x01, 17), sink);
}

size_t IndexOf(const RCProcessList& processes, DWORD id)
{
    return std::find_if(processes.begin(), processes.end(),
                        [id](const RCProcessEntry& e) { return e.processId == id; }) -
           processes.begin();
}

TEST(RCAvEnumMemFileTest, ReportsALibraryOnceInTheCaseOfTheFirstProcessWithThePrivilegeOnlyWhileItWalks)
{
    const std::wstring probe = RCGetExeFolder() + L"KivoMemProbe.dll";
    std::wstring shouted = probe;
    ::CharUpperBuffW(&shouted[0], static_cast<DWORD>(shouted.size()));
    ModuleHost lower(probe), upper(shouted);
    ASSERT_TRUE(lower.Ready());
    ASSERT_TRUE(upper.Ready());
    RCProcessList processes;
    ASSERT_TRUE(processes.Refresh());
    const std::wstring& first = IndexOf(processes, lower.Id()) < IndexOf(processes, upper.Id()) ? probe : shouted;
    ASSERT_NE(DebugPrivilegeAttributes(), -1) << "no debug privilege in the token to take back";

    for (int run = 0; run < 2; ++run) {
        MemorySink sink;
        const std::vector<std::wstring> paths = Walk(sink);
        EXPECT_EQ(
            std::count_if(paths.begin(), paths.end(), [&](const std::wstring& p) { return RCEqualsNoCase(p, probe); }),
            1)
            << run;
        EXPECT_EQ(std::count(paths.begin(), paths.end(), first), 1) << run;
        // The first run holds the privilege while it walks; the next has none to enable.
        if (run == 0)
            EXPECT_TRUE(sink.privilegeDuringWalk >= 0 && (sink.privilegeDuringWalk & SE_PRIVILEGE_ENABLED));
        else
            EXPECT_EQ(sink.privilegeDuringWalk, -1);
        EXPECT_EQ(DebugPrivilegeAttributes(), -1) << run;
    }

    // A refusal or a stop ends the walk after the current module; a stop
    // before the first process reports nothing.
    MemorySink refusing, stopping, early;
    refusing.acceptCount = 0;
    stopping.stopAtFirst = true;
    EXPECT_EQ(Walk(refusing).size(), 1u);
    EXPECT_EQ(Walk(stopping).size(), 1u);
    EXPECT_TRUE(RunOnce(new StoppedBeforeWalk, early).empty());
}

// The privilege is removed for good after a walk: this case must be the
// process's first walk.
TEST(RCAvEnumMemFileTest, AWalkThatThrowsGivesThePrivilegeBackAndStillEndsItsItem)
{
    ASSERT_NE(DebugPrivilegeAttributes(), -1) << "no debug privilege in the token to take back";
    MemorySink sink;
    RunOnce(new ThrowingWalk, sink);
    EXPECT_EQ(DebugPrivilegeAttributes(), -1);
    EXPECT_EQ(sink.itemEnds, 1);
}

} // namespace
