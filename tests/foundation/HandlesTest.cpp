#include "foundation/RCHandles.h"

#include <gtest/gtest.h>

namespace {

bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

TEST(Handles, OwnOneHandleAndKeepTheLastErrorWhenClosing)
{
    RC::unique_handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    const HANDLE raw = event.get();

    RC::unique_handle moved(std::move(event));
    EXPECT_FALSE(event);
    EXPECT_EQ(moved.get(), raw);

    ::SetLastError(ERROR_FILE_NOT_FOUND);
    moved.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(IsOpen(raw));

    RC::unique_handle other(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE kept = other.release();
    EXPECT_FALSE(other);
    EXPECT_TRUE(IsOpen(kept));
    ::CloseHandle(kept);
}

} // namespace
