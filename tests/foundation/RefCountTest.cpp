#include "foundation/RCDynamicBuffer.h"
#include "foundation/RCRefCountImpl1.h"
#include "foundation/RCRefPtr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

namespace {

class IWidget : public RC::IRefCount {};

class Widget : public RC::RCRefCountImpl1<IWidget> {
public:
    explicit Widget(bool* destroyed, IWidget* keep = nullptr) : destroyed_(destroyed), keep_(keep) {}
    ~Widget() override { *destroyed_ = true; }

private:
    bool* destroyed_;
    RCRefPtr<IWidget> keep_;
};

TEST(RefCount, SlotTakesTheNewReferenceBeforeDroppingTheOld)
{
    bool innerDestroyed = false;
    bool outerDestroyed = false;
    IWidget* inner = new Widget(&innerDestroyed);
    RCRefPtr<IWidget> slot(new Widget(&outerDestroyed, inner));
    EXPECT_EQ(inner->GetRefCount(), 1);

    // Only the old object keeps the new one alive: the old order of AddRef
    // and Release would delete the new object on the way.
    slot = inner;
    EXPECT_TRUE(outerDestroyed);
    EXPECT_FALSE(innerDestroyed);
    EXPECT_EQ(inner->GetRefCount(), 1);

    slot = inner; // the same pointer again changes nothing
    EXPECT_EQ(inner->GetRefCount(), 1);
    RCRefPtr<IWidget> copy = slot;
    EXPECT_EQ(inner->GetRefCount(), 2);
    copy.Reset();
    slot.Reset();
    EXPECT_TRUE(innerDestroyed);
}

// Filled piece by piece, a buffer grows by a quarter of what it holds (at
// least 4 or 16 units while small) or by what is needed, whichever is more.
TEST(DynamicBuffer, GrowsByAStepOrTheNeedAndKeepsItsBytes)
{
    RC::RCDynamicBuffer<char> buffer;
    buffer.Reserve(3);
    std::memcpy(buffer.Data(), "abc", 4);
    buffer.SetSize(3);
    for (const auto& [reserved, capacity] :
         {std::pair<uint32_t, uint32_t>{3, 4}, {10, 10}, {11, 26}, {100, 100}, {101, 125}, {50, 125}}) {
        buffer.Reserve(reserved);
        EXPECT_EQ(capacity, buffer.GetCapacity()) << reserved;
    }
    EXPECT_STREQ("abc", buffer.Data());
    EXPECT_EQ(3u, buffer.GetSize());
}

} // namespace
