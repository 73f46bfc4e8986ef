// Range and list parameters of the framework: conversions, texts and typed numbers.
#include <gtest/gtest.h>

#include <cmath>
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

// The parameter's text for a normalised value.
std::string textOf(const Parameter& p, ParamValue normalized)
{
    String128 t{};
    p.toString(normalized, t);
    return str(t);
}

// The normalised value a text gives; NaN when the text is refused.
ParamValue valueOf(const Parameter& p, const char16_t* text)
{
    ParamValue n = 0;
    return p.fromString(text, n) ? n : std::nan("");
}
} // namespace

TEST(QelRangeParameter, ContinuousRange)
{
    auto* p = new RangeParameter(u"Gain", 3, u"dB", 10.0, 20.0, 12.5, 0);
    EXPECT_DOUBLE_EQ(p->getInfo().defaultNormalizedValue, 0.25);
    EXPECT_EQ(p->getNormalized(), 0.0); // the current value does not start at the default
    EXPECT_DOUBLE_EQ(p->toPlain(0.5), 15.0);
    EXPECT_DOUBLE_EQ(valueOf(*p, u"25"), 1.0);
    EXPECT_DOUBLE_EQ(valueOf(*p, u"x 12,5"), 0.25);
    EXPECT_TRUE(std::isnan(valueOf(*p, u"none")));
    EXPECT_EQ(textOf(*p, 0.5), "15.0000");
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
    EXPECT_EQ(textOf(*p, 0.5), "2");
    EXPECT_DOUBLE_EQ(valueOf(*p, u"3"), 0.75);
    EXPECT_DOUBLE_EQ(valueOf(*p, u"9"), 2.25); // not clamped
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
    EXPECT_EQ(p->toPlain(0.7), 0.0);
    EXPECT_EQ(p->toNormalized(3.0), 0.0);
    EXPECT_EQ(textOf(*p, 0.5), "");
    p->appendString(u"x");
    p->appendString(u"y");
    p->appendString(u"z");
    EXPECT_EQ(p->getInfo().stepCount, 2);
    EXPECT_DOUBLE_EQ(p->toPlain(1.0), 2.0);
    EXPECT_DOUBLE_EQ(valueOf(*p, u"y"), 0.5);
    EXPECT_TRUE(std::isnan(valueOf(*p, u"Y")));
    EXPECT_EQ(textOf(*p, 1.0), "z");
    p->release();
}

TEST(QelRangeParameter, TextsUseAPointWhateverTheLocale)
{
    testlocale::CommaDecimalLocale locale;
    NORRIK_SKIP_WITHOUT_COMMA_LOCALE(locale);
    auto* p = new RangeParameter(u"Gain", 3, u"dB", 10.0, 20.0, 12.5, 0);
    EXPECT_EQ(textOf(*p, 0.25), "12.5000");
    EXPECT_DOUBLE_EQ(valueOf(*p, u"17.5"), 0.75);
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
    EXPECT_TRUE(std::isnan(valueOf(*stepped, u"none")));
    EXPECT_DOUBLE_EQ(valueOf(*stepped, u"mode 2"), 0.5);
    p->release();
    stepped->release();
}
