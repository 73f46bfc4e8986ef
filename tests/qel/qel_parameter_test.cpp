// Range and list parameters of the framework: conversions, texts and typed numbers.
#include <gtest/gtest.h>

#include <string>

#include "qel/rangeparameter.h"
#include "tests/common/comma_locale.h"

using namespace Calvereth::Qel;

namespace {
std::string str(const char16_t* t)
{
    std::string s;
    for (; *t; ++t)
        s += static_cast<char>(*t);
    return s;
}
} // namespace

TEST(QelRangeParameter, ContinuousRange)
{
    auto* p = new RangeParameter(u"Gain", 3, u"dB", 10.0, 20.0, 12.5, 0);
    EXPECT_DOUBLE_EQ(p->getInfo().defaultNormalizedValue, 0.25);
    EXPECT_EQ(p->getNormalized(), 0.0); // the current value does not start at the default
    EXPECT_DOUBLE_EQ(p->toPlain(0.5), 15.0);
    ParamValue n = 0;
    EXPECT_TRUE(p->fromString(u"25", n));
    EXPECT_DOUBLE_EQ(n, 1.0);
    EXPECT_TRUE(p->fromString(u"x 12,5", n));
    EXPECT_DOUBLE_EQ(n, 0.25);
    EXPECT_FALSE(p->fromString(u"none", n));
    String128 t{};
    p->toString(0.5, t);
    EXPECT_EQ(str(t), "15.0000");
    EXPECT_TRUE(p->isTypeOf("Parameter"));
    EXPECT_STREQ(p->className(), "RangeParameter");
    p->release();
}

TEST(QelRangeParameter, SteppedRange)
{
    auto* p = new RangeParameter(u"Mode", 4, nullptr, 0.0, 4.0, 0.0, 4);
    EXPECT_DOUBLE_EQ(p->toPlain(1.0), 4.0);
    EXPECT_DOUBLE_EQ(p->toPlain(0.5), 2.0);
    EXPECT_DOUBLE_EQ(p->toPlain(1e300), 4.0);
    String128 t{};
    p->toString(0.5, t);
    EXPECT_EQ(str(t), "2");
    ParamValue n = 0;
    EXPECT_TRUE(p->fromString(u"3", n));
    EXPECT_DOUBLE_EQ(n, 0.75);
    EXPECT_TRUE(p->fromString(u"9", n)); // not clamped
    EXPECT_DOUBLE_EQ(n, 2.25);
    p->setMax(8.0);
    EXPECT_EQ(p->getMax(), 8.0);
    p->release();
}

// Between its points a stepped range takes the step whose equal share of 0..1 holds the value:
// 0.7 of three steps above 10 is 12, not the nearest step 13.
TEST(QelRangeParameter, SteppedRangeBetweenItsPoints)
{
    auto* p = new RangeParameter(u"Mode", 4, nullptr, 10.0, 13.0, 10.0, 3);
    EXPECT_DOUBLE_EQ(p->toPlain(0.7), 12.0);
    for (int k = 0; k <= 100; ++k) {
        const double n = k / 100.0;
        const double step = n < 0.25 ? 0 : n < 0.5 ? 1 : n < 0.75 ? 2 : 3;
        ASSERT_DOUBLE_EQ(p->toPlain(n), 10.0 + step) << n;
    }
    p->release();
}

TEST(QelStringListParameter, Choices)
{
    auto* p = new StringListParameter(u"List", 9);
    String128 t{};
    EXPECT_EQ(p->toPlain(0.7), 0.0);
    EXPECT_EQ(p->toNormalized(3.0), 0.0);
    p->toString(0.5, t);
    EXPECT_EQ(str(t), "");
    p->appendString(u"x");
    p->appendString(u"y");
    p->appendString(u"z");
    EXPECT_EQ(p->getInfo().stepCount, 2);
    EXPECT_DOUBLE_EQ(p->toPlain(1.0), 2.0);
    ParamValue n = 0;
    EXPECT_TRUE(p->fromString(u"y", n));
    EXPECT_DOUBLE_EQ(n, 0.5);
    EXPECT_FALSE(p->fromString(u"Y", n));
    p->toString(1.0, t);
    EXPECT_EQ(str(t), "z");
    p->release();
}

TEST(QelRangeParameter, TextsUseAPointWhateverTheLocale)
{
    testlocale::CommaDecimalLocale locale;
    NORRIK_SKIP_WITHOUT_COMMA_LOCALE(locale);
    auto* p = new RangeParameter(u"Gain", 3, u"dB", 10.0, 20.0, 12.5, 0);
    String128 t{};
    p->toString(0.25, t);
    EXPECT_EQ(str(t), "12.5000");
    ParamValue n = 0;
    EXPECT_TRUE(p->fromString(u"17.5", n));
    EXPECT_DOUBLE_EQ(n, 0.75);
    p->release();
}

TEST(QelRangeParameter, TextThatIsNoFiniteDecimalNumberIsRefused)
{
    auto* p = new RangeParameter(u"Gain", 3, u"dB", 10.0, 20.0, 12.5, 0);
    auto* stepped = new RangeParameter(u"Mode", 4, nullptr, 0.0, 4.0, 0.0, 4);
    for (const char16_t* text : {u"nan", u"inf", u"Info", u"inf dB", u"-1e400", u"0x5", u""}) {
        ParamValue n = 0.125;
        EXPECT_FALSE(p->fromString(text, n)) << str(text);
        EXPECT_EQ(n, 0.125) << str(text);
    }
    ParamValue n = 0;
    EXPECT_FALSE(stepped->fromString(u"none", n));
    EXPECT_TRUE(stepped->fromString(u"mode 2", n));
    EXPECT_DOUBLE_EQ(n, 0.5);
    p->release();
    stepped->release();
}
