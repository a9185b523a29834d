#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/RCEvent.h"
#include "foundation/RCRefPtr.h"
#include "foundation/RCThread.h"
#include "module/RCModulePoster.h"

using namespace RC;

namespace {

struct Scene {
    RCModulePoster poster;
    std::mutex lock;
    std::vector<std::string> posted; // "name@thread", the thread as the test names it
    std::function<void()> onModuleThread;
    DWORD host = GetCurrentThreadId();
    DWORD worker = 0;

    void Queue(const std::string& name, std::function<void()> then = nullptr)
    {
        poster.Queue([this, name, then] {
            const DWORD self = GetCurrentThreadId();
            {
                std::lock_guard<std::mutex> guard(lock);
                posted.push_back(name + (self == host ? "@host" : self == worker ? "@worker" : "@poster"));
            }
            if (then)
                then();
        });
    }
    std::vector<std::string> Posted()
    {
        std::lock_guard<std::mutex> guard(lock);
        return posted;
    }
    // Runs onModuleThread on a thread of the module and waits until it has left.
    void OnModuleThread(std::function<void()> body)
    {
        onModuleThread = std::move(body);
        RCRefPtr<RCThread> thread(new RCThread(
            [](void* context) {
                Scene& scene = *static_cast<Scene*>(context);
                scene.worker = GetCurrentThreadId();
                scene.onModuleThread();
            },
            this));
        ASSERT_TRUE(thread->Start());
        thread->Join();
    }
};

using Names = std::vector<std::string>;

} // namespace

TEST(RCModulePoster, AnEntryPostsWhatItAndEarlierModuleThreadsQueuedBeforeItEnds)
{
    Scene scene;
    {
        RCModulePoster::Entry entry(&scene.poster);
        // A module thread only queues, and nothing posts while a host thread is inside.
        scene.OnModuleThread([&] { scene.Queue("state"); });
        scene.Queue("reply");
        EXPECT_EQ(Names(), scene.Posted());
    }
    EXPECT_EQ((Names{"state@host", "reply@host"}), scene.Posted());

    // Outside an entry a host thread posts at once, a module thread through
    // the poster thread.
    scene.Queue("notice");
    EXPECT_EQ((Names{"state@host", "reply@host", "notice@host"}), scene.Posted());
    RCEvent posted;
    scene.OnModuleThread([&] { scene.Queue("progress", [&] { posted.Set(); }); });
    ASSERT_TRUE(posted.Wait(60000));
    EXPECT_EQ("progress@poster", scene.Posted().back());
}

// A host beyond the contract holds the poster thread's post while it delivers:
// the delivery's own posts wait behind it rather than overtake it, and
// nothing hangs.
TEST(RCModulePoster, APostHeldByTheHostDelaysTheDeliverysPostsNeverReordersThem)
{
    Scene scene;
    RCEvent inHost, release, replied;
    scene.OnModuleThread([&] {
        scene.Queue("held", [&] {
            inHost.Set();
            release.Wait(INFINITE);
        });
    });
    ASSERT_TRUE(inHost.Wait(60000));
    {
        RCModulePoster::Entry entry(&scene.poster);
        scene.Queue("reply", [&] { replied.Set(); });
    }
    EXPECT_EQ(Names{"held@poster"}, scene.Posted());
    release.Set();
    ASSERT_TRUE(replied.Wait(60000));
    EXPECT_EQ((Names{"held@poster", "reply@poster"}), scene.Posted());
}
