// Numbers as text: written and read in the C locale whatever locale the process has, only finite
// decimal numbers read, and the 16-bit formatter's conversions and bounds.
#include <gtest/gtest.h>

#include <string>

#include "base/fixedstring16.h"
#include "base/fstring.h"
#include "tests/common/comma_locale.h"

using namespace Calvereth;

namespace {

std::string narrow(const ConstString& s)
{
    String copy(s);
    copy.toMultiByte(kCP_Default);
    return copy.text8() ? copy.text8() : "";
}

} // namespace

TEST(Base1Locale, NumbersAreWrittenAndReadWithAPointUnderACommaLocale)
{
    testlocale::CommaDecimalLocale locale;
    NORRIK_SKIP_WITHOUT_COMMA_LOCALE(locale);
    String s("");
    EXPECT_EQ(narrow(s.printf("%.2f", 1.25)), "1.25");
    EXPECT_EQ(narrow(s.printFloat(1.25)), "1.25");
    String w;
    EXPECT_EQ(narrow(w.printf(u"%.2f|%g", 1.25, 0.5)), "1.25|0.5");
    char16 field[16] = {};
    FixedString16 fixed(field, 16);
    fixed.printFloat(2, 1.25);
    EXPECT_EQ(narrow(ConstString(field)), "1.25");

    double d = 0;
    EXPECT_TRUE(ConstString("3.25").scanFloat(d));
    EXPECT_EQ(d, 3.25);
    EXPECT_TRUE(ConstString(u"gain -6.5 dB").scanFloat(d));
    EXPECT_EQ(d, -6.5);
    EXPECT_TRUE(ConstString("3,75").scanFloat(d));
    EXPECT_EQ(d, 3.75);
    fixed.assign(u"2.5");
    EXPECT_TRUE(fixed.scanFloat(d));
    EXPECT_EQ(d, 2.5);
}

TEST(Base1Locale, OnlyFiniteDecimalNumbersRead)
{
    for (const char* refused :
         {"nan", "NAN", "inf", "-Infinity", "Info", "inf dB", "-1e400", "1e999", "0x5", "-0X1p3", "dB", ".", "-.e"}) {
        double d = 9.0;
        EXPECT_FALSE(ConstString(refused).scanFloat(d, 0, true)) << refused;
        EXPECT_EQ(d, 9.0) << refused;
    }
    struct
    {
        const char* text;
        bool scanToEnd;
        double value;
    } read[] = {{"-23.5 dB", false, -23.5}, {"  .5", false, 0.5}, {"1e-3", false, 0.001},
                {"x 7", true, 7.0},         {"12e", false, 12.0}, {"-0", false, 0.0},
                {"1.5e+2x", false, 150.0},  {"0.5x", false, 0.5}, {"a-.25", true, -0.25}};
    for (auto& r : read) {
        double d = 0;
        EXPECT_TRUE(ConstString(r.text).scanFloat(d, 0, r.scanToEnd)) << r.text;
        EXPECT_EQ(d, r.value) << r.text;
    }
    // The fixed-capacity string reads with the same reader: what String reads at the start, it
    // reads too, and every text that is no number gives 0 (as it always has).
    for (const char* text : {"nan", "inf", "1e400", "-1e999", "0x5", "dB", "-23.5 dB", "  .5", "1e-3", "12e", "-0"}) {
        double fromString = 0.0, fromFixed = 9.0;
        const bool read = ConstString(text).scanFloat(fromString, 0, false);
        char16 field[32] = {};
        FixedString16(field, 32).assign(text);
        EXPECT_TRUE(FixedString16(field, 32).scanFloat(fromFixed)) << text;
        EXPECT_EQ(fromFixed, read ? fromString : 0.0) << text;
    }
    double d = 0;
    // Leading text is skipped in one pass: a long text without a number ends at once.
    std::string longText(200000, 'a');
    EXPECT_FALSE(ConstString(longText.c_str()).scanFloat(d, 0, true));
    longText += "4";
    EXPECT_TRUE(ConstString(longText.c_str()).scanFloat(d, 0, true));
    EXPECT_EQ(d, 4.0);
    int64 i = 0;
    EXPECT_TRUE(ConstString(longText.c_str()).scanInt64(i, 0, true));
    EXPECT_EQ(i, 4);
}

TEST(Base1Locale, SixteenBitFormatWidensOnlyTheBareStringConversion)
{
    String s;
    s.printf(u"[%5s|%-4s|%s|%.1s]", "ab", "cd", u"wide", "xyz");
    EXPECT_EQ(narrow(s), "[   ab|cd  |wide|x]");

    char16 dest[8];
    for (char16& c : dest)
        c = u'#';
    EXPECT_EQ(String::snwprintf(dest, -1, u"%d", 1234567890), -1);
    EXPECT_EQ(dest[0], u'#');
    EXPECT_EQ(String::snwprintf(dest, 8, u"%d", 1234567890), 7);
    EXPECT_EQ(narrow(ConstString(dest)), "1234567");
}
