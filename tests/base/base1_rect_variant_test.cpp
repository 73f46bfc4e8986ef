#include <gtest/gtest.h>

#include <cstring>

#include "base/fobject.h"
#include "base/rect.h"
#include "base/variantvalue.h"

using namespace Calvereth;

TEST(Base1Rect, Operations)
{
    using Op = bool (Rect::*)(const Rect&);
    const struct
    {
        Rect start;
        Op op;
        Rect other;
        bool answer;
        Rect result;
    } cases[] = {
        {{0, 0, 100, 50}, &Rect::moveInside, {20, 10, 200, 200}, true, {20, 10, 120, 60}},
        {{0, 0, 100, 50}, &Rect::moveInside, {0, 0, 80, 80}, false, {0, 0, 100, 50}}, // too wide: stays
        {{150, 150, 250, 200}, &Rect::moveInside, {0, 0, 200, 180}, true, {100, 130, 200, 180}},
        {{0, 0, 100, 100}, &Rect::subtract, {0, 0, 100, 30}, true, {0, 30, 100, 100}},
        {{0, 0, 100, 100}, &Rect::subtract, {40, 40, 60, 60}, true, {0, 0, 100, 100}}, // a hole: unchanged
        {{0, 0, 100, 100}, &Rect::subtract, {-10, -10, 200, 200}, false, {}},
        {{0, 0, 100, 100}, &Rect::subtract, {70, -5, 120, 105}, true, {0, 0, 70, 100}},
        {{}, &Rect::join, {1, 2, 3, 4}, true, {1, 2, 3, 4}},
        {{1, 2, 3, 4}, &Rect::join, {5, 5, 5, 9}, false, {1, 2, 3, 4}}, // empty: ignored
        {{1, 2, 3, 4}, &Rect::join, {-1, 3, 2, 10}, true, {-1, 2, 3, 10}},
    };
    for (const auto& c : cases) {
        Rect r = c.start;
        EXPECT_EQ((r.*c.op)(c.other), c.answer);
        EXPECT_EQ(r, c.result);
    }
    Rect l(0, 0, 10, 10), out;
    EXPECT_TRUE(l.intersection(Rect(10, 0, 20, 10), out)); // touching edges intersect
    EXPECT_EQ(out, Rect(10, 0, 10, 10));
    EXPECT_FALSE(l.intersection(Rect(11, 0, 20, 10), out));
    EXPECT_EQ(out, Rect());
    EXPECT_FALSE(l.rectInside(Rect(0, 0, 11, 10)));
    Rect v(0, 0, 10, 10);
    v.center(Rect(-20, -20, 1, 1));
    EXPECT_EQ(v, Rect(-15, -15, -5, -5)); // truncation toward zero
    Point p{-5, 50};
    l.clampPoint(p);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 10);
}

namespace {
struct Counted : FObject
{};
} // namespace

TEST(Base1VariantValue, CopiesOwnTextsAndReferences)
{
    char8 source[] = "level";
    VariantValue a(static_cast<const char8*>(source)), b(a);
    EXPECT_FALSE(a.isOwner());
    EXPECT_TRUE(b.isOwner());
    EXPECT_NE(b.getString8(), a.getString8());
    b.empty();
    EXPECT_STREQ(a.getString8(), "level");
    VariantValue w(static_cast<const char16*>(u"wide")), w2;
    w2 = w;
    w2 = w2; // self-assignment changes nothing
    EXPECT_TRUE(w2.isOwner());
    EXPECT_EQ(std::u16string(w2.getString16()), u"wide");

    auto* object = new Counted;
    {
        VariantValue o(static_cast<FUnknown*>(object)), copy(o), another;
        another = copy;
        EXPECT_EQ(object->getRefCount(), 3); // built from a pointer it holds none; copies hold one each
        another.empty();
        EXPECT_EQ(object->getRefCount(), 2);
    }
    EXPECT_EQ(object->getRefCount(), 1);
    object->release();
    EXPECT_EQ(VariantValue(int64(-7)).getFloat(), 0.0); // no conversion between types
}
