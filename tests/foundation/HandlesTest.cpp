#include "foundation/RCHandles.h"

#include <gtest/gtest.h>

namespace {

// Owners close in cleanup paths that report the failure that led there, so
// closing keeps the last error, even when the close itself fails.
TEST(Handles, OwnOneHandleAndKeepTheLastErrorWhenClosing)
{
    RC::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const HANDLE raw = event.get();
    RC::unique_handle moved(std::move(event));
    moved.reset();
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags)); // closed once, by its last owner

    RC::unique_handle stale(reinterpret_cast<HANDLE>(0x0BADF00C)); // no such handle: closing it fails
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    stale.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

} // namespace
