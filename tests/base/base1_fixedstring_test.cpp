#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "base/fixedstring16.h"
#include "base/wideliteraltable.h"

using namespace Calvereth;

namespace {
std::u16string text(const char16* buffer, int32 n)
{
    std::u16string s;
    for (int32 i = 0; i < n && buffer[i]; ++i)
        s.push_back(buffer[i]);
    return s;
}
void fill(char16* buffer, int32 n, char16 c)
{
    for (int32 i = 0; i < n; ++i)
        buffer[i] = c;
}
} // namespace

TEST(Base1WideLiteral, OneCopyPerAddress)
{
    static const char8 literal[] = "Stereo In";
    static const char8 same[] = "Stereo In";
    WideLiteralTable& table = WideLiteralTable::instance();
    EXPECT_EQ(&table, &WideLiteralTable::instance());
    const char16* a = table.getString(literal);
    const char16* b = table.getString(literal);
    const char16* c = table.getString(same);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(std::u16string(a), u"Stereo In");
    EXPECT_EQ(std::u16string(c), u"Stereo In");
    static const char8 empty[] = "";
    const char16* e = table.getString(empty);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e[0], 0);
    // Bytes widen as signed values.
    static const char8 high[] = "\xE9";
    EXPECT_EQ(table.getString(high)[0], 0xFFE9);
    EXPECT_EQ(table.getString(nullptr), nullptr);
    // A buffer whose contents change keeps its first copy.
    static char8 changing[] = "abc";
    const char16* first = wideLiteral(changing);
    changing[0] = 'x';
    EXPECT_EQ(wideLiteral(changing), first);
    EXPECT_EQ(std::u16string(first), u"abc");
}

TEST(Base1WideLiteral, CharacterCache)
{
    WideLiteralTable& table = WideLiteralTable::instance();
    EXPECT_EQ(table.getChar('0'), 0x0030);
    EXPECT_EQ(table.getChar('0'), 0x0030);
    EXPECT_EQ(table.getChar('.'), u'.');
    EXPECT_EQ(table.getChar('\xE9'), 0xFFE9);
}

TEST(Base1FixedString16, AssignCutsAndTerminates)
{
    char16 buffer[128];
    fill(buffer, 128, u'#');
    std::u16string longText(200, u'x');
    FixedString16(buffer, 128).assign(longText.c_str());
    EXPECT_EQ(text(buffer, 128), std::u16string(127, u'x'));
    EXPECT_EQ(buffer[127], 0);

    // A count shorter than the text still terminates right after the copied units.
    fill(buffer, 128, u'#');
    FixedString16 view(buffer, 128);
    view.assign(u"abcdef", 3);
    EXPECT_EQ(text(buffer, 128), u"abc");
    EXPECT_EQ(view.length(), 3);
    view.assign("hello", 2);
    EXPECT_EQ(text(buffer, 128), u"he");
    view.assign(static_cast<const char16*>(nullptr));
    EXPECT_EQ(view.length(), 0);
    view.assign("\xE9");
    EXPECT_EQ(buffer[0], 0xFFE9);

    char16 small[4];
    fill(small, 4, u'#');
    FixedString16(small, 4).assign(u"abcdef", 10);
    EXPECT_EQ(text(small, 4), u"abc");
    EXPECT_EQ(small[3], 0);
}

TEST(Base1FixedString16, AppendTerminates)
{
    char16 buffer[8];
    fill(buffer, 8, u'#');
    FixedString16 view(buffer, 8);
    view.assign(u"ab");
    view.append(u"cdef", 2);
    EXPECT_EQ(text(buffer, 8), u"abcd");
    view.append(u"0123456789");
    EXPECT_EQ(text(buffer, 8), u"abcd012");
    EXPECT_EQ(buffer[7], 0);
    // A full buffer without a terminator gets only the final one.
    fill(buffer, 8, u'z');
    view.append(u"q");
    EXPECT_EQ(text(buffer, 8), std::u16string(7, u'z'));
    EXPECT_EQ(buffer[7], 0);
}

TEST(Base1FixedString16, CopyOutRules)
{
    char16 buffer[6] = {u'a', u'b', u'c', 0, u'#', u'#'};
    FixedString16 view(buffer, 6);
    char16 dest[10];
    fill(dest, 10, u'#');
    view.copyTo(dest, 10);
    EXPECT_EQ(text(dest, 10), u"abc");
    EXPECT_EQ(dest[9], 0);
    fill(dest, 10, u'#');
    view.copyTo(dest, 1);
    EXPECT_EQ(dest[0], 0);
    EXPECT_EQ(dest[1], u'#');
    fill(dest, 10, u'#');
    view.copyTo(dest, 2);
    EXPECT_EQ(dest[0], u'a');
    EXPECT_EQ(dest[1], 0);
    // Size 0 or less writes nothing.
    fill(dest, 10, u'#');
    view.copyTo(dest + 1, 0);
    view.copyTo(dest + 1, -5);
    EXPECT_EQ(text(dest, 10), std::u16string(10, u'#'));
    char8 dest8[10];
    for (char8& c : dest8)
        c = '#';
    view.copyTo8(dest8 + 1, 0);
    EXPECT_EQ(dest8[0], '#');
    view.copyTo8(dest8, 10);
    EXPECT_STREQ(dest8, "abc");
    // A source without a terminator is terminated in the destination after its capacity.
    char16 full[3] = {u'x', u'y', u'z'};
    fill(dest, 10, u'#');
    FixedString16(full, 3).copyTo(dest, 10);
    EXPECT_EQ(text(dest, 10), u"xyz");
    EXPECT_EQ(dest[3], 0);
    char16 narrow[2];
    FixedString16(full, 3).copyTo(narrow, 2);
    EXPECT_EQ(narrow[0], u'x');
    EXPECT_EQ(narrow[1], 0);
}

TEST(Base1FixedString16, NumbersInAndOut)
{
    char16 buffer[128];
    FixedString16 view(buffer, 128);
    EXPECT_TRUE(view.printInt(-42));
    EXPECT_EQ(text(buffer, 128), u"-42");
    view.printFloat(2, 3.14159);
    EXPECT_EQ(text(buffer, 128), u"3.14");
    view.printFloat(0, 2.5);
    EXPECT_EQ(text(buffer, 128), u"2");
    char16 ten[10];
    FixedString16 small(ten, 10);
    EXPECT_TRUE(small.printInt(INT64_MAX));
    EXPECT_EQ(text(ten, 10), u"922337203");
    EXPECT_EQ(ten[9], 0);

    int64 i = 5;
    view.assign(u"abc");
    EXPECT_TRUE(view.scanInt(i));
    EXPECT_EQ(i, 0);
    view.assign(u" -17 dB");
    EXPECT_TRUE(view.scanInt(i));
    EXPECT_EQ(i, -17);
    view.assign(u"99999999999");
    EXPECT_TRUE(view.scanInt(i));
    EXPECT_EQ(i, INT32_MAX);
    double d = 0;
    view.assign(u"-23.5 LUFS");
    EXPECT_TRUE(view.scanFloat(d));
    EXPECT_DOUBLE_EQ(d, -23.5);
}
