#include "foundation/RCDynamicBuffer.h"
#include "foundation/RCRefCountImpl1.h"
#include "foundation/RCRefPtr.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class IWidget : public RC::IRefCount
{
public:
    virtual int Answer() = 0;
};

class Widget : public RC::RCRefCountImpl1<IWidget>
{
public:
    explicit Widget(bool* destroyed, IWidget* keep = nullptr) : destroyed_(destroyed), keep_(keep) {}
    ~Widget() override { *destroyed_ = true; }
    int Answer() override { return 42; }

private:
    bool* destroyed_;
    RCRefPtr<IWidget> keep_;
};

TEST(RefCount, CountsFromZeroAndDeletesThroughTheMostDerivedDestructor)
{
    bool destroyed = false;
    IWidget* widget = new Widget(&destroyed);
    EXPECT_EQ(widget->GetRefCount(), 0);
    EXPECT_EQ(widget->AddRef(), 0);
    EXPECT_EQ(widget->GetRefCount(), 1);
    EXPECT_EQ(widget->AddRef(), 1);
    EXPECT_EQ(widget->Release(), 1);
    EXPECT_FALSE(destroyed);
    widget->Release();
    EXPECT_TRUE(destroyed);
}

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

TEST(Buffer, GrowsByTheGrowthRule)
{
    struct Case {
        uint32_t from, to, expected;
    } cases[] = {{0, 1, 4}, {10, 11, 26}, {100, 101, 125}, {100, 200, 200}, {100, 50, 100}};
    for (const Case& c : cases) {
        RC::RCDynamicBuffer<char> buffer;
        buffer.SetCapacity(c.from);
        buffer.Reserve(c.to);
        EXPECT_EQ(buffer.GetCapacity(), c.expected) << c.from << " -> " << c.to;
    }
}

TEST(Buffer, KeepsBytesAndSizeApartFromCapacity)
{
    RC::RCDynamicBuffer<char> buffer;
    buffer.SetCapacity(8);
    std::memcpy(buffer.Data(), "abcdefgh", 8);
    buffer.SetSize(100);
    EXPECT_EQ(buffer.GetSize(), 8u);
    buffer.SetCapacity(3);
    EXPECT_EQ(std::string(buffer.Data(), 3), "abc");

    RC::RCDynamicBuffer<char> copy;
    copy = buffer;
    EXPECT_EQ(copy.GetSize(), 0u);
    EXPECT_EQ(std::string(copy.Data(), copy.GetCapacity()), "abc");
}

} // namespace
