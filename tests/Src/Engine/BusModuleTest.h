#pragma once
// RCTrevox.dll loaded the way a host loads it, on a reference bus whose every
// message the test can read: the set-up and tear-down that the bus-level
// tests share. A fixture attaches the module to the host it wants (the bus's
// own, or one in front of it) and starts it.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "host/RCBus.h"
#include "host/RCModuleLibrary.h"
#include "module/RCBusIds.h"

namespace KivoTest {

class BusModuleTest : public testing::Test {
protected:
    void LoadModule()
    {
        ASSERT_TRUE(library_.Load(L"RCTrevox.dll"));
        module_ = library_.QueryModule(0);
        ASSERT_NE(nullptr, module_);
        bus_.AddListener([this](const KivoHost::RCBusMessage& message) {
            std::lock_guard<std::mutex> guard(lock_);
            seen_.push_back(message);
            changed_.notify_all();
        });
    }
    void StopAndRelease()
    {
        bus_.Post(RC::MSG_MODULE_STOP, L"", L"");
        bus_.WaitIdle();
        module_->Detach();
        library_.ReleaseModule(0, module_);
    }

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<KivoHost::RCBusMessage> seen_;
    KivoHost::RCModuleLibrary library_;
    KivoHost::RCBus bus_;
    RC::DmAvCore::IVBusModule* module_ = nullptr;
};

} // namespace KivoTest
