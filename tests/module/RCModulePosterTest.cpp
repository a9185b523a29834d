#include <gtest/gtest.h>

#include <windows.h>

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
    RCEvent inFirst, releaseFirst;
    std::mutex lock;
    std::vector<std::string> posted;

    void Record(const std::string& name)
    {
        std::lock_guard<std::mutex> guard(lock);
        posted.push_back(name);
    }
    std::vector<std::string> Posted()
    {
        std::lock_guard<std::mutex> guard(lock);
        return posted;
    }
};

// A module thread's post, which the host holds until the test lets it go.
void __cdecl WorkerPosts(void* context)
{
    Scene& scene = *static_cast<Scene*>(context);
    const DWORD worker = GetCurrentThreadId();
    scene.poster.Submit([&scene, worker] {
        scene.Record(GetCurrentThreadId() == worker ? "first, on the worker" : "first");
        scene.inFirst.Set();
        scene.releaseFirst.Wait(INFINITE);
    });
}

} // namespace

TEST(RCModulePoster, AModuleThreadNeverWaitsForTheHostAndNoHostPostOvertakesAQueuedOne)
{
    Scene scene;
    RCRefPtr<RCThread> worker(new RCThread(&WorkerPosts, &scene));
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(scene.inFirst.Wait(60000)); // posted on another thread than the worker

    // A host thread's post while the first is still in the host waits its turn.
    scene.poster.Submit([&] { scene.Record("second"); });
    EXPECT_EQ(std::vector<std::string>{"first"}, scene.Posted());

    scene.releaseFirst.Set();
    worker->Join();
    scene.poster.Stop(); // posts what is queued
    EXPECT_EQ((std::vector<std::string>{"first", "second"}), scene.Posted());

    // With nothing queued, a host thread posts at once.
    scene.poster.Submit([&] { scene.Record("third"); });
    EXPECT_EQ((std::vector<std::string>{"first", "second", "third"}), scene.Posted());
}
