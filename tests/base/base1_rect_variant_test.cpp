#include <gtest/gtest.h>

#include <cstring>

#include "base/fobject.h"
#include "base/rect.h"
#include "base/variantvalue.h"

using namespace Calvereth;

TEST(Base1Rect, MoveInsideAndCenter)
{
    Rect r(0, 0, 100, 50);
    EXPECT_TRUE(r.moveInside(Rect(20, 10, 200, 200)));
    EXPECT_EQ(r, Rect(20, 10, 120, 60));
    Rect s(0, 0, 100, 50);
    EXPECT_FALSE(s.moveInside(Rect(0, 0, 80, 80)));
    EXPECT_EQ(s, Rect(0, 0, 100, 50));
    Rect t(150, 150, 250, 200);
    EXPECT_TRUE(t.moveInside(Rect(0, 0, 200, 180)));
    EXPECT_EQ(t, Rect(100, 130, 200, 180));
    Rect c(0, 0, 10, 10);
    c.centerH(Rect(0, 0, 15, 5));
    EXPECT_EQ(c, Rect(2, 0, 12, 10));
    Rect v(0, 0, 10, 10);
    v.center(Rect(-20, -20, 1, 1));
    EXPECT_EQ(v, Rect(-15, -15, -5, -5)); // truncation toward zero
}

TEST(Base1Rect, SubtractJoinIntersect)
{
    Rect a(0, 0, 100, 100);
    EXPECT_TRUE(a.subtract(Rect(0, 0, 100, 30)));
    EXPECT_EQ(a, Rect(0, 30, 100, 100));
    Rect b(0, 0, 100, 100);
    EXPECT_TRUE(b.subtract(Rect(40, 40, 60, 60)));
    EXPECT_EQ(b, Rect(0, 0, 100, 100));
    Rect c(0, 0, 100, 100);
    EXPECT_FALSE(c.subtract(Rect(-10, -10, 200, 200)));
    EXPECT_EQ(c, Rect());
    Rect d(0, 0, 100, 100);
    EXPECT_TRUE(d.subtract(Rect(70, -5, 120, 105)));
    EXPECT_EQ(d, Rect(0, 0, 70, 100));

    Rect l(0, 0, 10, 10), r(10, 0, 20, 10), out;
    EXPECT_TRUE(l.intersects(r));
    EXPECT_TRUE(l.intersection(r, out));
    EXPECT_EQ(out, Rect(10, 0, 10, 10));
    EXPECT_EQ(l.overlapH(r), 0);
    EXPECT_EQ(l.overlapV(r), 10);
    EXPECT_FALSE(l.intersection(Rect(11, 0, 20, 10), out));
    EXPECT_EQ(out, Rect());

    Rect empty;
    EXPECT_TRUE(empty.join(Rect(1, 2, 3, 4)));
    EXPECT_EQ(empty, Rect(1, 2, 3, 4));
    EXPECT_FALSE(empty.join(Rect(5, 5, 5, 9)));
    EXPECT_TRUE(empty.join(Rect(-1, 3, 2, 10)));
    EXPECT_EQ(empty, Rect(-1, 2, 3, 10));
    EXPECT_TRUE(Rect(0, 0, 10, 10).rectInside(Rect(0, 0, 10, 10)));
    EXPECT_FALSE(Rect(0, 0, 10, 10).rectInside(Rect(0, 0, 11, 10)));

    Point p{-5, 50};
    Rect(0, 0, 10, 20).clampPoint(p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 20);

    struct ViewRectLike
    {
        int32 left, top, right, bottom;
    } vr{};
    Rect(1, 2, 3, 4).copyTo(vr);
    EXPECT_EQ(vr.right, 3);
    EXPECT_EQ(Rect(vr), Rect(1, 2, 3, 4));
}

namespace {
struct Counted : FObject
{};
} // namespace

TEST(Base1VariantValue, CopiesOwnTextsAndReferences)
{
    char8 source[] = "level";
    VariantValue a(static_cast<const char8*>(source));
    EXPECT_FALSE(a.isOwner());
    VariantValue b(a);
    EXPECT_TRUE(b.isOwner());
    EXPECT_NE(b.getString8(), a.getString8());
    EXPECT_STREQ(b.getString8(), "level");
    b.empty();
    EXPECT_EQ(b.getType(), VariantValue::kEmpty);
    EXPECT_STREQ(a.getString8(), "level");

    VariantValue w(static_cast<const char16*>(u"wide"));
    VariantValue w2;
    w2 = w;
    EXPECT_TRUE(w2.isOwner());
    EXPECT_EQ(std::u16string(w2.getString16()), u"wide");
    w2 = w2; // self-assignment changes nothing
    EXPECT_EQ(std::u16string(w2.getString16()), u"wide");

    auto* object = new Counted;
    {
        VariantValue o(static_cast<FUnknown*>(object));
        EXPECT_EQ(object->getRefCount(), 1);
        VariantValue copy(o);
        EXPECT_EQ(object->getRefCount(), 2);
        VariantValue another;
        another = copy;
        EXPECT_EQ(object->getRefCount(), 3);
        another.empty();
        EXPECT_EQ(object->getRefCount(), 2);
    }
    EXPECT_EQ(object->getRefCount(), 1);
    object->release();

    VariantValue f(1.5), i(int64(-7)), fi(f);
    EXPECT_EQ(fi.getFloat(), 1.5);
    EXPECT_EQ(i.getInt(), -7);
    EXPECT_EQ(i.getFloat(), 0.0);
}
