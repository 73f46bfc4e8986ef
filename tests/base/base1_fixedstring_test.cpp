// Wide literals and 16-bit text in caller-owned buffers, which must stay terminated inside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
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
} // namespace

TEST(Base1WideLiteral, OneCopyPerAddress)
{
    static const char8 literal[] = "Stereo In";
    static const char8 same[] = "Stereo In";
    WideLiteralTable& table = WideLiteralTable::instance();
    const char16* a = table.getString(literal);
    EXPECT_EQ(table.getString(literal), a);
    EXPECT_NE(table.getString(same), a);
    EXPECT_EQ(std::u16string(a), u"Stereo In");
    EXPECT_EQ(table.getString(nullptr), nullptr);
    static const char8 high[] = "\xE9";
    EXPECT_EQ(table.getString(high)[0], 0xFFE9); // bytes widen as signed values
    EXPECT_EQ(table.getChar('\xE9'), 0xFFE9);
    // A buffer whose contents change keeps its first copy.
    static char8 changing[] = "abc";
    const char16* first = wideLiteral(changing);
    changing[0] = 'x';
    EXPECT_EQ(wideLiteral(changing), first);
    EXPECT_EQ(std::u16string(first), u"abc");
}

TEST(Base1FixedString16, AssignAndAppendCutAndTerminate)
{
    char16 buffer[8];
    FixedString16 view(buffer, 8);
    const struct
    {
        std::function<void()> edit;
        std::u16string result;
    } cases[] = {
        {[&] { view.assign(std::u16string(20, u'x').c_str()); }, u"xxxxxxx"},
        {[&] { view.assign(u"abcdef", 3); }, u"abc"}, // a short count still terminates
        {[&] { view.assign("hello", 2); }, u"he"},
        {[&] { view.assign(static_cast<const char16*>(nullptr)); }, u""},
        {[&] { view.assign(u"ab"), view.append(u"cdef", 2), view.append(u"0123456789"); }, u"abcd012"},
        {[&] { std::fill_n(buffer, 8, u'z'), view.append(u"q"); }, u"zzzzzzz"}, // full and unterminated
    };
    for (const auto& c : cases) {
        std::fill_n(buffer, 8, u'#');
        c.edit();
        EXPECT_EQ(text(buffer, 8), c.result);
        EXPECT_EQ(buffer[c.result.size()], 0);
    }
    char16 small[4];
    FixedString16(small, 4).assign(u"abcdef", 10);
    EXPECT_EQ(text(small, 4), u"abc");
    EXPECT_EQ(small[3], 0);
}

TEST(Base1FixedString16, CopyOutNeverPassesTheDestinationAndIntegersInAndOut)
{
    char16 source[6] = {u'a', u'b', u'c', 0, u'#', u'#'}, full[3] = {u'x', u'y', u'z'};
    const struct
    {
        char16* from;
        int32 fromSize, toSize;
        std::u16string result;
    } cases[] = {{source, 6, 10, u"abc"}, {source, 6, 1, u""}, {source, 6, 2, u"a"},
                 {full, 3, 10, u"xyz"},   {full, 3, 2, u"x"},  {source, 6, 0, u"##########"}};
    for (const auto& c : cases) {
        char16 dest[11];
        std::fill_n(dest, 11, u'#');
        FixedString16(c.from, c.fromSize).copyTo(dest + 1, c.toSize);
        EXPECT_EQ(dest[0], u'#');
        EXPECT_EQ(text(dest + 1, 10), c.result);
        if (c.toSize > 0) {
            EXPECT_EQ(dest[1 + c.result.size()], 0);
        }
        if (c.toSize < 10) {
            EXPECT_EQ(dest[1 + std::max(c.toSize, int32(0))], u'#'); // nothing past the size
        }
    }
    FixedString16(source, 6).copyTo(source + 4, -5); // a negative size writes nothing
    EXPECT_EQ(source[4], u'#');
    char8 dest8[10];
    FixedString16(source, 6).copyTo8(dest8, 10);
    EXPECT_STREQ(dest8, "abc");

    // Integers in and out; floating-point numbers are in the locale test.
    char16 buffer[128];
    FixedString16 view(buffer, 128);
    EXPECT_TRUE(view.printInt(-42));
    EXPECT_EQ(text(buffer, 128), u"-42");
    char16 ten[10];
    EXPECT_TRUE(FixedString16(ten, 10).printInt(INT64_MAX));
    EXPECT_EQ(text(ten, 10), u"922337203");
    const std::pair<const char16*, int64> ints[] = {{u"abc", 0}, {u" -17 dB", -17}, {u"99999999999", INT32_MAX}};
    for (auto [in, value] : ints) {
        int64 i = 5;
        view.assign(in);
        EXPECT_TRUE(view.scanInt(i));
        EXPECT_EQ(i, value);
    }
}
