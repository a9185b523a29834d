#include "foundation/RCHandles.h"

#include <gtest/gtest.h>

namespace {

// Owners close in cleanup paths that report the failure that led there.
TEST(Handles, OwnOneHandleAndKeepTheLastErrorWhenClosing)
{
    RC::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const HANDLE raw = event.get();
    RC::unique_handle moved(std::move(event));
    EXPECT_FALSE(event);
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    moved.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));  // closed once, by its last owner
}

} // namespace
