#include "foundation/RCRefCountImpl1.h"
#include "foundation/RCRefPtr.h"

#include <gtest/gtest.h>

namespace {

class IWidget : public RC::IRefCount
{
};

class Widget : public RC::RCRefCountImpl1<IWidget>
{
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

    slot = inner;  // the same pointer again changes nothing
    EXPECT_EQ(inner->GetRefCount(), 1);
    RCRefPtr<IWidget> copy = slot;
    EXPECT_EQ(inner->GetRefCount(), 2);
    copy.Reset();
    slot.Reset();
    EXPECT_TRUE(innerDestroyed);
}

} // namespace
