#include <gtest/gtest.h>
#include <windows.h>
TEST(Smoke, Runs) { EXPECT_EQ(sizeof(void*), 4u); }
