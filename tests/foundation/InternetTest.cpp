#include "foundation/RCInternet.h"

#include <gtest/gtest.h>

#include "support/LoopbackListener.h"

namespace {

using KivoTest::LoopbackListener;

TEST(Internet, ConnectsOnlyWhileTheLoopbackPortListens)
{
    LoopbackListener listener;
    ASSERT_NE(listener.Port(), 0);
    const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(listener.Port()) + L"/";
    EXPECT_NE(RCInternetCheckConnection(url), 0);

    listener.Close();
    EXPECT_EQ(RCInternetCheckConnection(url), 0);
}

} // namespace
