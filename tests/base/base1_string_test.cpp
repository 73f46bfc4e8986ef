#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "base/fstring.h"
#include "base/istring.h"
#include "base/stringobject.h"
#include "platform/strings.h"

using namespace Calvereth;

namespace {
std::u16string u16(const ConstString& s)
{
    return std::u16string(s.text16(), static_cast<size_t>(s.length()));
}
std::string u8(const ConstString& s)
{
    return std::string(s.text8(), static_cast<size_t>(s.length()));
}
std::u16string ascii16(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}
} // namespace

TEST(Base1StringStorage, DefaultAndWidth)
{
    String s;
    EXPECT_EQ(s.length(), 0);
    EXPECT_TRUE(s.isWideString());
    EXPECT_EQ(s.text16()[0], 0);
    EXPECT_TRUE(s.isWideString());
    EXPECT_STREQ(s.text8(), "");
    EXPECT_FALSE(s.isWideString());
    EXPECT_EQ(s.rawText(), nullptr);

    String a("abc", 2);
    EXPECT_EQ(u8(a), "ab");
    EXPECT_FALSE(a.isWideString());
    a.assign("xyz", -1, false); // not terminated, no count: unchanged
    EXPECT_EQ(u8(a), "ab");
    a.assign("q\0r", 3, false);
    EXPECT_EQ(a.length(), 3);
    a.assign(u"wide");
    EXPECT_TRUE(a.isWideString());
    EXPECT_EQ(u16(a), u"wide");
    a.assign(u'z', 3);
    EXPECT_EQ(u16(a), u"zzz");
    String b(a, 2);
    EXPECT_EQ(u16(b), u"zz");
    EXPECT_TRUE(b.isWideString());
    a.assign(a.text16()); // its own text: nothing happens
    EXPECT_EQ(u16(a), u"zzz");
    a.assign(ConstString(a, 1)); // a view into its own buffer
    EXPECT_EQ(u16(a), u"zz");
    String moved(std::move(a));
    EXPECT_EQ(u16(moved), u"zz");
    EXPECT_EQ(a.length(), 0);
    EXPECT_EQ(a.rawText(), nullptr);
}

TEST(Base1StringStorage, ResizeFailureKeepsWidthAndText)
{
    String s("abc");
    EXPECT_FALSE(s.resize(-1, true));
    EXPECT_FALSE(s.resize(ConstString::kMaxLength + 1, true));
    EXPECT_FALSE(s.isWideString());
    EXPECT_EQ(u8(s), "abc");
    EXPECT_FALSE(s.setChar(ConstString::kMaxLength, 'x'));
    EXPECT_EQ(u8(s), "abc");
    EXPECT_TRUE(s.resize(5, false, true));
    EXPECT_EQ(std::string(s.text8(), 5), "abc  ");
    // Same byte size in the other width: the shorter text is still terminated.
    String w("abc");
    ASSERT_TRUE(w.resize(1, true));
    EXPECT_TRUE(w.isWideString());
    w.updateLength();
    EXPECT_LE(w.length(), 1);
}

TEST(Base1StringConversion, CodePagesRoundTrip)
{
    String e("\xE9");
    ASSERT_TRUE(e.toWideString(kCP_ANSI));
    EXPECT_EQ(u16(e), u"\u00E9");
    String m("\x8E");
    ASSERT_TRUE(m.toWideString(kCP_Default));
    EXPECT_EQ(u16(m), u"\u00E9");
    String ce("\x87");
    ASSERT_TRUE(ce.toWideString(kCP_MacCEE));
    EXPECT_EQ(u16(ce), u"\u00E1");

    String zh(u"\u4E2D");
    ASSERT_TRUE(zh.toMultiByte(kCP_Default));
    EXPECT_EQ(u8(zh), "?");
    String zh8(u"\u4E2D");
    ASSERT_TRUE(zh8.toMultiByte(kCP_Utf8));
    EXPECT_EQ(u8(zh8), "\xE4\xB8\xAD");
    String back;
    back.fromUTF8("\xE4\xB8\xAD!");
    EXPECT_EQ(u16(back), u"\u4E2D!");

    // Shift-JIS both ways, and ASCII with its loss byte.
    String jp(u"\u65E5\u672C\u8A9Ez");
    ASSERT_TRUE(jp.toMultiByte(kCP_ShiftJIS));
    EXPECT_EQ(u8(jp), "\x93\xFA\x96\x7B\x8C\xEAz");
    ASSERT_TRUE(jp.toWideString(kCP_ShiftJIS));
    EXPECT_EQ(u16(jp), u"\u65E5\u672C\u8A9Ez");
    String as(u"na\u00EFve");
    ASSERT_TRUE(as.toMultiByte(kCP_US_ASCII));
    EXPECT_EQ(u8(as), "na?ve");

    // Every byte of the default code page survives a round trip through 16-bit text.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    String roman(all.c_str());
    ASSERT_TRUE(roman.toWideString(kCP_Default));
    EXPECT_EQ(roman.length(), 255);
    ASSERT_TRUE(roman.toMultiByte(kCP_Default));
    EXPECT_EQ(u8(roman), all);

    // Invalid input leaves the string as it was.
    String bad("\xC3(");
    EXPECT_FALSE(bad.toWideString(kCP_Utf8));
    EXPECT_FALSE(bad.isWideString());
    EXPECT_EQ(u8(bad), "\xC3(");

    // An 8-bit text in the default code page re-encoded into another code page.
    String reenc("\x8E");
    ASSERT_TRUE(reenc.toMultiByte(kCP_Utf8));
    EXPECT_EQ(u8(reenc), "\xC3\xA9");
}

TEST(Base1StringConversion, StaticConverters)
{
    char16 wide[8];
    EXPECT_EQ(String::multiByteToWideString(nullptr, "abc", 0, kCP_Default), 4);
    EXPECT_EQ(String::multiByteToWideString(wide, "abc", 7, kCP_Default), 4);
    EXPECT_EQ(std::u16string(wide), u"abc");
    EXPECT_EQ(String::multiByteToWideString(wide, "abcdef", 2, kCP_Default), 3);
    EXPECT_EQ(std::u16string(wide), u"ab");
    char8 narrow[8];
    EXPECT_EQ(String::wideStringToMultiByte(nullptr, u"\u4E2D\u4E2D", 0, kCP_Utf8), 6);
    EXPECT_EQ(String::wideStringToMultiByte(narrow, u"a\u4E2Db", 7, kCP_Default), 4);
    EXPECT_STREQ(narrow, "a?b");
    EXPECT_EQ(String::wideStringToMultiByte(narrow, u"\u4E2D\u4E2D", 4, kCP_Utf8), 4);
    EXPECT_STREQ(narrow, "\xE4\xB8\xAD");
}

TEST(Base1StringConversion, PlatformStringsNormalisation)
{
    String decomposed(u"e\u0301");
    EXPECT_FALSE(decomposed.isNormalized(ConstString::kNormalizationC));
    EXPECT_TRUE(decomposed.isNormalized(ConstString::kNormalizationD));
    ASSERT_TRUE(decomposed.normalize(ConstString::kNormalizationC));
    EXPECT_EQ(u16(decomposed), u"\u00E9");
    EXPECT_TRUE(decomposed.isNormalized(ConstString::kNormalizationC));
    String lig(u"\uFB01");
    ASSERT_TRUE(lig.normalize(ConstString::kNormalizationKD));
    EXPECT_EQ(u16(lig), u"fi");
    String narrow("abc");
    EXPECT_FALSE(narrow.normalize(ConstString::kNormalizationC));
    EXPECT_FALSE(narrow.isNormalized(ConstString::kNormalizationC));

    PlatformStringRef p = String(u"caf\u00E9").toCFString();
    ASSERT_NE(p, nullptr);
    String wide;
    EXPECT_TRUE(wide.fromCFString(p));
    EXPECT_EQ(u16(wide), u"caf\u00E9");
    String utf("x");
    EXPECT_TRUE(utf.fromCFString(p, Platform::kEncodingUTF8));
    EXPECT_EQ(u8(utf), "caf\xC3\xA9"); // three bytes per unit may be needed: sized for it
    String ascii("x");
    EXPECT_FALSE(ascii.fromCFString(p)); // ASCII cannot hold it: emptied
    EXPECT_EQ(ascii.length(), 0);
    EXPECT_FALSE(ascii.isWideString());
    Platform::release(p);
    PlatformStringRef m = String("abc").toCFString(kDefaultEncoding, true);
    EXPECT_TRUE(Platform::isMutable(m));
    EXPECT_EQ(Platform::getLength(m), 3u);
    Platform::release(m);
    EXPECT_EQ(String("\x80").toCFString(), nullptr); // not ASCII
    EXPECT_FALSE(wide.fromCFString(nullptr));
}

TEST(Base1StringStorage, CharactersPascalTakeExtract)
{
    String s("abc");
    EXPECT_TRUE(s.setChar(5, u'x'));
    EXPECT_EQ(u8(s), "abc  x");
    EXPECT_TRUE(s.setChar(6, char16(0)));
    EXPECT_EQ(s.length(), 6);
    EXPECT_TRUE(s.setChar(2, char16(0)));
    EXPECT_EQ(u8(s), "ab");
    EXPECT_FALSE(s.setChar(0, u'\u4E2D')); // no single byte in the default code page
    EXPECT_EQ(u8(s), "ab");
    EXPECT_TRUE(s.setChar(0, u'\u00E9'));
    EXPECT_EQ(static_cast<uint8>(s.getChar8(0)), 0x8E);
    EXPECT_TRUE(s.setChar(4, char16(0)));
    EXPECT_EQ(u8(s), std::string("\x8E"
                                 "b  "));

    const unsigned char pascal[] = {3, 'A', 'B', 'C', 'D'};
    String p;
    p.fromPascalString(pascal);
    EXPECT_EQ(u8(p), "ABC");
    String longText;
    longText.assign('x', 300);
    unsigned char out[300];
    longText.toPascalString(out);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[255], 'x');

    String a(u"wide"), b("narrow");
    b.take(a);
    EXPECT_TRUE(b.isWideString());
    EXPECT_EQ(u16(b), u"wide");
    EXPECT_EQ(a.length(), 0);
    EXPECT_EQ(a.rawText(), nullptr);
    char* heap = static_cast<char*>(std::malloc(6));
    std::strcpy(heap, "owned");
    a.take(heap, false);
    EXPECT_EQ(u8(a), "owned");

    String part;
    EXPECT_TRUE(b.extract(part, 1, 2));
    EXPECT_EQ(u16(part), u"id");
    EXPECT_TRUE(b.extract(part, 2));
    EXPECT_EQ(u16(part), u"de");
    EXPECT_FALSE(b.extract(part, 4));
    EXPECT_TRUE(b.extract(b, 1, 2)); // into itself
    EXPECT_EQ(u16(b), u"id");

    char16 dest16[16];
    EXPECT_EQ(String("hello").copyTo16(dest16, 1, 3), 3);
    EXPECT_EQ(std::u16string(dest16), u"ell");
    EXPECT_EQ(String(u"hi").copyTo16(dest16, 5), 0);
    EXPECT_EQ(dest16[0], 0);
    char8 dest8[16];
    EXPECT_EQ(String(u"h\u00E9llo").copyTo8(dest8, 1), 4);
    EXPECT_STREQ(dest8, "\x8Ello");
}

TEST(Base1StringStorage, VariantsAndAttributes)
{
    VariantValue v;
    String s(u"text");
    s.toVariant(v);
    EXPECT_EQ(v.getType(), VariantValue::kString16);
    EXPECT_FALSE(v.isOwner());
    EXPECT_EQ(v.getString16(), s.rawText());
    s.passToVariant(v);
    EXPECT_TRUE(v.isOwner());
    EXPECT_EQ(s.rawText(), nullptr);
    EXPECT_EQ(std::u16string(v.getString16()), u"text");
    ConstString view(v);
    EXPECT_EQ(u16(view), u"text");
    String empty8("");
    empty8.passToVariant(v);
    EXPECT_FALSE(v.isOwner());
    EXPECT_STREQ(v.getString8(), "");

    String n;
    EXPECT_TRUE(n.fromVariant(VariantValue(int64(-5))));
    EXPECT_EQ(u16(n), u"-5");
    EXPECT_TRUE(n.fromVariant(VariantValue(2.5)));
    EXPECT_EQ(u16(n), u"2.5");
    EXPECT_TRUE(n.fromVariant(VariantValue("eight")));
    EXPECT_EQ(u8(n), "eight");
    VariantValue object;
    object.setObject(nullptr);
    EXPECT_FALSE(n.fromVariant(object));
    EXPECT_EQ(n.length(), 0);
    String fromVar{VariantValue(int64(12))};
    EXPECT_EQ(u16(fromVar), u"12");

    struct Store
    {
        std::map<std::string, VariantValue> values;
        int32 set(const char* id, const VariantValue& value) { return values[id] = value, 0; }
        int32 get(const char* id, VariantValue& value)
        {
            auto it = values.find(id);
            if (it == values.end())
                return 1;
            value = it->second;
            return 0;
        }
    } store;
    EXPECT_TRUE(String(u"stored").toAttributes(&store, "name"));
    String read;
    EXPECT_TRUE(read.fromAttributes(&store, "name"));
    EXPECT_EQ(u16(read), u"stored");
    EXPECT_FALSE(read.fromAttributes(&store, "missing"));
}

TEST(Base1StringEdit, AppendInsertIncludingItself)
{
    String s("ab");
    s.append(s);
    EXPECT_EQ(u8(s), "abab");
    s.append(s.text8() + 1, 2);
    EXPECT_EQ(u8(s), "ababba");
    String w(u"xy");
    w.append(w);
    w.append(w.text16());
    EXPECT_EQ(u16(w), u"xyxyxyxy");
    w.insertAt(1, w.text16(), 3);
    EXPECT_EQ(u16(w), u"xxyxyxyxyxy");
    w.replace(0, 2, ConstString(w, 8));
    EXPECT_EQ(u16(w), u"yxyyxyxyxyxy");

    String narrow("abc");
    narrow.append(u"\u00E9");
    EXPECT_TRUE(narrow.isWideString());
    EXPECT_EQ(u16(narrow), u"abc\u00E9");
    narrow.append("\x8E"); // 8-bit text widened through the default code page
    EXPECT_EQ(u16(narrow), u"abc\u00E9\u00E9");
    String empty;
    empty.append("eight");
    EXPECT_FALSE(empty.isWideString());
    empty.append('!', 3);
    EXPECT_EQ(u8(empty), "eight!!!");
    empty.append(u'\u4E2D');
    EXPECT_EQ(u16(empty), u"eight!!!\u4E2D");
    empty.append('x', 0);
    empty.append("abc", 1);
    EXPECT_EQ(u16(empty), u"eight!!!\u4E2Da");
    empty += String("Z");
    EXPECT_EQ(u16(empty), u"eight!!!\u4E2DaZ");

    String wideEmpty;
    wideEmpty.insertAt(0, "keeps its width");
    EXPECT_TRUE(wideEmpty.isWideString());
    EXPECT_EQ(u16(wideEmpty), u"keeps its width");
    String ins("world");
    ins.insertAt(0, "hello ");
    EXPECT_EQ(u8(ins), "hello world");
    ins.insertAt(100, "x");
    EXPECT_EQ(u8(ins), "hello world");
    ins.insertAt(0, u"\u00BF");
    EXPECT_TRUE(ins.isWideString());
    EXPECT_EQ(u16(ins), u"\u00BFhello world");
}

TEST(Base1StringEdit, ReplaceRemoveTrim)
{
    String s("aaaa");
    EXPECT_EQ(s.replace(u"aa", u"a", true), 2);
    EXPECT_EQ(u16(s), u"aa");
    String t(u"one two two");
    EXPECT_EQ(t.replace(u"two", u"2"), 1);
    EXPECT_EQ(u16(t), u"one 2 two");
    EXPECT_EQ(t.replace(u"x", u"y", true), 0);
    EXPECT_EQ(t.replace(nullptr, u"y", true), 0);
    String g(u"aXa");
    EXPECT_EQ(g.replace(u"a", u"aa", true), 2); // the search continues after each replacement
    EXPECT_EQ(u16(g), u"aaXaa");

    String r("abcdef");
    r.replace(1, 2, "XYZ");
    EXPECT_EQ(u8(r), "aXYZdef");
    r.replace(4, -1, "!");
    EXPECT_EQ(u8(r), "aXYZ!");
    r.replace(0, 0, "nothing");
    r.replace(9, 1, "nothing");
    EXPECT_EQ(u8(r), "aXYZ!");
    r.replace(0, 4, u"\u00E9");
    EXPECT_EQ(u16(r), u"\u00E9!");

    String m("abc");
    m.remove(1, -1);
    EXPECT_EQ(u8(m), "a");
    String n("abc");
    n.remove(5, 1);
    EXPECT_EQ(u8(n), "abc");
    n.remove(1, 100);
    EXPECT_EQ(u8(n), "a");
    n.remove(0, 1);
    EXPECT_EQ(n.length(), 0);
    String sub("x--y--z");
    sub.removeSubString("--");
    EXPECT_EQ(u8(sub), "xyz");
    sub.removeSubString(sub);
    EXPECT_EQ(sub.length(), 0);
    String ci(u"aBcAbC");
    ci.removeSubString("abc", ConstString::kCaseInsensitive);
    EXPECT_EQ(ci.length(), 0);

    String chars("a-b_c 1!");
    chars.removeChars(ConstString::kNotAlphaNum);
    EXPECT_EQ(u8(chars), "abc1");
    String alpha(u"a1 \u00E9");
    alpha.removeChars(ConstString::kNotAlpha);
    EXPECT_EQ(u16(alpha), u"a\u00E9");
    String spaces(u" a\tb\u3000c ");
    spaces.removeChars(ConstString::kSpace);
    EXPECT_EQ(u16(spaces), u"abc");
    String set("a.b,c");
    EXPECT_TRUE(set.replaceChars(".,", 0));
    EXPECT_EQ(u8(set), "a b c");
    EXPECT_FALSE(set.replaceChars("#", '-'));
    String set16(u"a.b");
    EXPECT_TRUE(set16.replaceChars(u".", u'\u2022'));
    EXPECT_EQ(u16(set16), u"a\u2022b");
    String set8("a.b");
    EXPECT_TRUE(set8.replaceChars(u".", u'\u4E2D')); // no byte for it: continues in 16-bit
    EXPECT_EQ(u16(set8), u"a\u4E2Db");
    String rm("banana");
    EXPECT_TRUE(rm.removeChars("an"));
    EXPECT_EQ(u8(rm), "b");
    String rm16(u"b\u00E9b\u00E9");
    EXPECT_TRUE(rm16.removeChars("\x8E"));
    EXPECT_EQ(u16(rm16), u"bb");

    String trimmed("  x ");
    EXPECT_TRUE(trimmed.trim());
    EXPECT_EQ(u8(trimmed), "x");
    EXPECT_FALSE(trimmed.trim());
    String only("   ");
    EXPECT_TRUE(only.trim());
    EXPECT_EQ(only.length(), 0);
    String punct(u"--a-b--");
    EXPECT_TRUE(punct.trim(ConstString::kNotAlphaNum));
    EXPECT_EQ(u16(punct), u"a-b");
}

TEST(Base1StringSearch, FindAndCount)
{
    ConstString s("abcabc");
    EXPECT_EQ(s.findFirst(1, 'a', 0, 2), -1);
    EXPECT_EQ(s.findFirst(1, 'a', 0, 3), 3);
    EXPECT_EQ(s.findFirst(-4, 'c'), 2);
    EXPECT_EQ(s.findFirst(0, u'\u4E2D'), -1);
    EXPECT_EQ(s.findFirst(0, 'B', ConstString::kCaseInsensitive), 1);
    EXPECT_EQ(s.findNext(0, "cab", -1, 0, 2), 2);
    EXPECT_EQ(s.findNext(3, "cab"), -1);
    EXPECT_EQ(s.findNext(0, "cax", 2), 2);
    EXPECT_EQ(s.findNext(0, ""), -1);
    EXPECT_EQ(s.findPrev(10, 'c'), 5);
    EXPECT_EQ(s.findPrev(4, 'c'), 2);
    EXPECT_EQ(s.findPrev(-1, "bc"), 4);
    EXPECT_EQ(s.findPrev(3, "bc"), 1);
    EXPECT_EQ(s.countOccurences('b', 0), 2);
    EXPECT_EQ(s.countOccurences('b', 2), 1);
    EXPECT_TRUE(s.contains(u"CA", ConstString::kCaseInsensitive));
    EXPECT_FALSE(s.contains(u"CA"));
    EXPECT_TRUE(s.testChar(6, char8(0)));
    EXPECT_TRUE(s.testChar(1, 'b'));
    EXPECT_FALSE(s.testChar(1, u'c'));

    ConstString w(u"\u00C9t\u00E9");
    EXPECT_EQ(w.findFirst(0, u'\u00C9', ConstString::kCaseInsensitive, -1), 0);
    EXPECT_EQ(w.findFirst(1, '\x8E'), 2); // the byte of the default code page
    EXPECT_EQ(w.findNext(0, "t\x8E"), 1);
    EXPECT_EQ(w.findPrev(-1, u'\u00E9', ConstString::kCaseInsensitive), 2);

    EXPECT_TRUE(ConstString("prefix.txt").startsWith("pre"));
    EXPECT_TRUE(ConstString("prefix.txt").endsWith(u".TXT", ConstString::kCaseInsensitive));
    EXPECT_FALSE(ConstString("ab").startsWith("abc"));
    EXPECT_FALSE(ConstString("ab").startsWith(""));
    EXPECT_TRUE(ConstString("").startsWith(""));
    EXPECT_EQ(ConstString("abcd").getFirstDifferent("abXd"), 2);
    EXPECT_EQ(ConstString("abc").getFirstDifferent("abc"), -1);
    EXPECT_EQ(ConstString("abc").getFirstDifferent("ab"), 2);
    EXPECT_EQ(ConstString("ABC").getFirstDifferent(u"abc", ConstString::kCaseInsensitive), -1);
}

TEST(Base1StringSearch, Compare)
{
    EXPECT_EQ(ConstString("").compare(ConstString("")), 0);
    EXPECT_EQ(String().compare(ConstString("")), 0);
    EXPECT_GT(ConstString("abc").compare(ConstString("")), 0);
    EXPECT_LT(ConstString("").compare(ConstString("abc")), 0);
    EXPECT_EQ(ConstString("ABC").compare("abc", ConstString::kCaseInsensitive), 0);
    EXPECT_EQ(ConstString(u"ABC").compare(u"abc", ConstString::kCaseInsensitive), 0);
    EXPECT_EQ(ConstString(u"\u00C9").compare(u"\u00E9", ConstString::kCaseInsensitive), 0);
    EXPECT_LT(ConstString("abc").compare("abd"), 0);
    EXPECT_EQ(ConstString("abc").compare("abd", 2, 0), 0);
    EXPECT_EQ(ConstString("abc").compare("xyz", 0, 0), 0);
    EXPECT_EQ(ConstString(u"ab").compare(u"ab"), 0);
    EXPECT_EQ(ConstString(u"ab").compare(u"abc"), -1);
    EXPECT_EQ(ConstString(u"abc").compare(u"ab"), 1);
    EXPECT_EQ(ConstString(u"abc").compare(u"abe"), 'c' - 'e');
    EXPECT_EQ(ConstString("caf\x8E").compare(u"caf\u00E9"), 0); // 8-bit side widened
    EXPECT_GT(ConstString(u"caf\u00E9").compare("cafe"), 0);
    EXPECT_TRUE(String("abc") == ConstString(u"abc"));
    EXPECT_TRUE(String("abc") < ConstString("abd"));
}

TEST(Base1StringSearch, NaturalOrder)
{
    auto nc = [](const ConstString& a, const ConstString& b, int32 mode = 0) { return a.naturalCompare(b, mode); };
    EXPECT_LT(nc("file9", "file10"), 0);
    EXPECT_GT(nc("file10", "file9"), 0);
    EXPECT_GT(nc("file010", "file10"), 0);
    EXPECT_LT(nc("file10", "file010"), 0);
    EXPECT_EQ(nc("file10", "file10"), 0);
    EXPECT_EQ(nc("abc", "ABC", 1), 0);
    EXPECT_NE(nc("abc", "ABC", 0), 0);
    EXPECT_LT(nc("a2b", "a2c"), 0);
    EXPECT_LT(nc("a", "ab"), 0);
    EXPECT_GT(nc("ab", "a"), 0);
    EXPECT_LT(nc("x7y", "x12y"), 0);
    EXPECT_LT(nc("track 2 take 9", "track 2 take 10"), 0);
    EXPECT_LT(nc(u"file9", "file10"), 0); // mixed widths
    EXPECT_GT(nc("file100", u"file99"), 0);
    EXPECT_LT(nc(String(), "a"), 0);
    EXPECT_GT(nc("a", String()), 0);
    EXPECT_EQ(nc(String(), String()), 0);
    // Sorting a list by natural order.
    std::vector<std::string> names = {"take10", "take9", "take1", "take010", "take09"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return ConstString(a.c_str()).naturalCompare(b.c_str()) < 0;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"take1", "take9", "take09", "take10", "take010"}));
}

TEST(Base1StringSearch, CaseAndClasses)
{
    String s("Hello W\x8Erld");
    s.toUpper();
    EXPECT_EQ(u8(s), "HELLO W\x8E"
                     "RLD");
    String w(u"stra\u00DFe \u00E9t\u00E9");
    w.toUpper();
    EXPECT_EQ(u16(w), u"STRA\u00DFE \u00C9T\u00C9");
    w.toLower();
    EXPECT_EQ(u16(w), u"stra\u00DFe \u00E9t\u00E9");
    w.toUpper(0);
    EXPECT_EQ(w.getChar16(0), u'S');
    EXPECT_TRUE(ConstString::isCharUpper(u'\u00C9'));
    EXPECT_FALSE(ConstString::isCharUpper('a'));
    EXPECT_TRUE(ConstString::isCharLower('a'));
    EXPECT_TRUE(ConstString::isCharLower('1'));
    EXPECT_FALSE(ConstString::isCharAlpha('\xE9'));
    EXPECT_TRUE(ConstString::isCharAlpha(u'\u00E9'));
    EXPECT_FALSE(ConstString::isCharDigit(u'\u0663'));
    EXPECT_TRUE(ConstString::isCharAlphaNum(u'\u0663'));
    EXPECT_TRUE(ConstString::isCharUnicodeSpace(u'\u00A0'));
    EXPECT_FALSE(ConstString::isCharUnicodeSpace(u'\u2000'));
    EXPECT_FALSE(ConstString::isCharUnicodeSpace(u'\t'));
    EXPECT_TRUE(ConstString("plain").isAsciiString());
    EXPECT_FALSE(ConstString("pl\xE9").isAsciiString());
    EXPECT_FALSE(ConstString(u"pl\u00E9").isAsciiString());
    EXPECT_TRUE(String().isAsciiString());
}

TEST(Base1StringFormat, PrintfCutsAtBufferLimit)
{
    std::string big(5000, 'x');
    String s;
    s.printf("%s", big.c_str());
    EXPECT_EQ(s.length(), 4095);
    EXPECT_FALSE(s.isWideString());
    std::u16string big16(5000, u'y');
    s.printf(u"%s", big16.c_str());
    EXPECT_EQ(s.length(), 4095);
    EXPECT_TRUE(s.isWideString());
    EXPECT_EQ(s.getChar16(4094), u'y');
}

TEST(Base1StringFormat, SixteenBitFormattingMatchesSnprintf)
{
    struct Case
    {
        const char* format;
        double d;
        long long i;
    };
    const char* formats[] = {"%2.1f|%lld", "0%lld:", "%lld:", "%.3f dB %+lld", "%10.4e [%-8lld]", "%g %05lld"};
    const double values[] = {-23.456, 0.0, 1e-7, 123456.789, -0.05};
    const long long ints[] = {0, -1, 42, 9000000000LL};
    for (const char* f : formats) {
        std::u16string wideFormat = ascii16(f);
        for (double d : values)
            for (long long i : ints) {
                bool intFirst = std::string(f).find("%lld") < std::string(f).find('f');
                char expected[256];
                String s;
                if (std::string(f).find('f') == std::string::npos && std::string(f).find('e') == std::string::npos &&
                    std::string(f).find('g') == std::string::npos) {
                    std::snprintf(expected, sizeof expected, f, i);
                    s.printf(wideFormat.c_str(), i);
                } else if (intFirst) {
                    continue;
                } else {
                    std::snprintf(expected, sizeof expected, f, d, i);
                    s.printf(wideFormat.c_str(), d, i);
                }
                EXPECT_EQ(u16(s), ascii16(expected)) << f;
            }
    }
    String t;
    t.printf(u"%s and %S and %%s", u"wide", u"also");
    EXPECT_EQ(u16(t), u"wide and also and %s");
    t.printf(u"[%-6s|%3.2s]", "ab", "xyz"); // only the bare %s takes 16-bit text
    EXPECT_EQ(u16(t), u"[ab    | xy]");
    t.printf(u"100%%");
    EXPECT_EQ(u16(t), u"100%");
    t.printf(u"%d %@", 1, nullptr); // cannot be formatted: unchanged
    EXPECT_EQ(u16(t), u"100%");
}

TEST(Base1StringFormat, Snwprintf16NeverPassesTheSize)
{
    char16 dest[8];
    for (char16& c : dest)
        c = u'#';
    EXPECT_EQ(String::snwprintf(dest, 4, u"%s-%d", u"abcdef", 12345), 3);
    EXPECT_EQ(std::u16string(dest), u"abc");
    EXPECT_EQ(dest[4], u'#');
    EXPECT_EQ(String::snwprintf(dest, 1, u"%d", 7), 0);
    EXPECT_EQ(dest[0], 0);
    EXPECT_EQ(dest[1], u'b');
    dest[0] = u'#';
    EXPECT_EQ(String::snwprintf(dest, 0, u"%d", 7), 0);
    EXPECT_EQ(dest[0], u'#');
    EXPECT_EQ(String::snwprintf(dest, 8, u"%%s%s", u"z"), 3);
    EXPECT_EQ(std::u16string(dest), u"%sz");
    EXPECT_EQ(String::snwprintf(dest, 8, u"%Z"), -1);
    EXPECT_EQ(std::u16string(dest), u"%sz");
}

TEST(Base1StringFormat, PrintNumbers)
{
    auto pf = [](double v, bool wide) {
        String s;
        if (!wide)
            s.assign("");
        s.printFloat(v);
        EXPECT_EQ(s.isWideString(), wide);
        return std::string(String(s).text8());
    };
    for (bool wide : {false, true}) {
        EXPECT_EQ(pf(1.25, wide), "1.25");
        EXPECT_EQ(pf(3.0, wide), "3.0");
        EXPECT_EQ(pf(-0.5, wide), "-0.5");
        EXPECT_EQ(pf(0.0, wide), "0.0");
        EXPECT_EQ(pf(1.5, wide), "1.5");
        EXPECT_EQ(pf(1e20, wide), "100000000000000000000.0");
        EXPECT_EQ(pf(0.1234567, wide), "0.123457");
    }
    String i;
    i.printInt64(-9000000000LL);
    EXPECT_EQ(u16(i), u"-9000000000");
    String i8("");
    i8.printInt64(77);
    EXPECT_EQ(u8(i8), "77");
}

TEST(Base1StringFormat, Scanners)
{
    int64 v = -1;
    EXPECT_FALSE(ConstString("x12").scanInt64(v, 0, false));
    EXPECT_EQ(v, -1);
    EXPECT_TRUE(ConstString("x12").scanInt64(v, 0, true));
    EXPECT_EQ(v, 12);
    EXPECT_TRUE(ConstString("x-13").scanInt64(v, 1, false));
    EXPECT_EQ(v, -13);
    EXPECT_FALSE(ConstString("12").scanInt64(v, 2));
    EXPECT_FALSE(String().scanInt64(v));
    EXPECT_TRUE(ConstString(u"level 42").scanInt64(v));
    EXPECT_EQ(v, 42);
    int32 i32 = 0;
    EXPECT_TRUE(ConstString("4294967297").scanInt32(i32));
    EXPECT_EQ(i32, 1);
    uint32 u32 = 0;
    EXPECT_TRUE(ConstString("4294967298").scanUInt32(u32));
    EXPECT_EQ(u32, 2u);
    uint64 u64 = 0;
    EXPECT_TRUE(ConstString(u"18446744073709551615").scanUInt64(u64));
    EXPECT_EQ(u64, UINT64_MAX);
    uint8 hex = 0;
    EXPECT_TRUE(ConstString("1FF").scanHex(hex));
    EXPECT_EQ(hex, 0xFF);
    EXPECT_TRUE(ConstString(u"zz 0a").scanHex(hex));
    EXPECT_EQ(hex, 0x0A);
    double d = 0;
    EXPECT_TRUE(ConstString("3,25").scanFloat(d));
    EXPECT_DOUBLE_EQ(d, 3.25);
    EXPECT_TRUE(ConstString("1,5,5").scanFloat(d));
    EXPECT_DOUBLE_EQ(d, 1.5);
    EXPECT_TRUE(ConstString(u"gain -6,5 dB").scanFloat(d));
    EXPECT_DOUBLE_EQ(d, -6.5);
    EXPECT_TRUE(ConstString("a 1,2 3,4").scanFloat(d, 5));
    EXPECT_DOUBLE_EQ(d, 3.4);
    d = 9;
    EXPECT_FALSE(ConstString("none").scanFloat(d));
    EXPECT_EQ(d, 9);
    int64 s8 = 0;
    EXPECT_TRUE(ConstString::scanInt64_16(u" 77", s8, false));
    EXPECT_EQ(s8, 77);
    EXPECT_FALSE(ConstString::scanInt64_8(nullptr, s8));
}

TEST(Base1StringFormat, TrailingNumbers)
{
    EXPECT_EQ(ConstString("Take12").getTrailingNumber(7), 12);
    EXPECT_EQ(ConstString("Take").getTrailingNumber(7), 7);
    EXPECT_EQ(ConstString(u"Take-3").getTrailingNumber(), 3);
    EXPECT_EQ(ConstString("").getTrailingNumber(5), 5);

    String t("Track");
    EXPECT_TRUE(t.incrementTrailingNumber(0, ' ', 0));
    EXPECT_EQ(u8(t), "Track 1");
    EXPECT_TRUE(t.incrementTrailingNumber(0, ' ', 0));
    EXPECT_EQ(u8(t), "Track 2");
    String take("Take_009");
    EXPECT_TRUE(take.incrementTrailingNumber(3, '_', 0));
    EXPECT_EQ(u8(take), "Take_010");
    String empty;
    EXPECT_TRUE(empty.incrementTrailingNumber(2, 0, 5));
    EXPECT_EQ(u16(empty), u"05");
    String fmt(u"Take 7");
    EXPECT_TRUE(fmt.incrementTrailingNumber(3, ' ', 0, true));
    EXPECT_EQ(u16(fmt), u"Take 007");
    String sep(u"Mix");
    EXPECT_TRUE(sep.incrementTrailingNumber(1, u'\u2013', 0));
    EXPECT_EQ(u16(sep), u"Mix\u20131");
    String narrowSep("Mix");
    EXPECT_TRUE(narrowSep.incrementTrailingNumber(1, u'\u4E2D', 0));
    EXPECT_EQ(u16(narrowSep), u"Mix\u4E2D1");
    EXPECT_FALSE(t.incrementTrailingNumber(33, ' ', 0));
    EXPECT_EQ(u8(t), "Track 2");
}

namespace {
struct ResultOnly : IStringResult
{
    tresult queryInterface(const TUID, void** obj) override { return *obj = nullptr, kNoInterface; }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    void setText(const char8* text) override { received = text; }
    std::string received;
};
} // namespace

TEST(Base1StringObject, InterfacesAndText)
{
    auto* object = new StringObject;
    EXPECT_EQ(object->getRefCount(), 1);
    void* out = nullptr;
    ASSERT_EQ(object->queryInterface(IString::iid, &out), kResultOk);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IString*>(object)));
    EXPECT_EQ(object->getRefCount(), 2);
    static_cast<IString*>(out)->release();
    ASSERT_EQ(object->queryInterface(IStringResult::iid, &out), kResultOk);
    static_cast<IStringResult*>(out)->release();
    ASSERT_EQ(object->queryInterface(FUnknown::iid, &out), kResultOk);
    static_cast<FUnknown*>(out)->release();
    EXPECT_EQ(object->queryInterface(IDependent::iid, &out), kResultOk);
    static_cast<FUnknown*>(out)->release();
    FUID other(1, 2, 3, 4);
    EXPECT_EQ(object->queryInterface(other, &out), kNoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->getRefCount(), 1);

    EXPECT_STREQ(object->className(), "StringObject");
    EXPECT_FALSE(object->isTypeOf("FObject", false));
    EXPECT_TRUE(object->isTypeOf("FObject", true));
    EXPECT_TRUE(object->isTypeOf("StringObject", false));
    EXPECT_TRUE(object->isA("StringObject"));

    IString* text = object;
    text->setText8("abc");
    EXPECT_FALSE(text->isWideString());
    EXPECT_EQ(std::u16string(text->getText16()), u"abc");
    EXPECT_TRUE(text->isWideString());
    char16 mine[] = u"kept";
    text->take(mine, true);
    EXPECT_NE(text->getText16(), mine);
    EXPECT_EQ(std::u16string(mine), u"kept");
    EXPECT_STREQ(text->getText8(), "kept");
    text->setText16(nullptr);
    EXPECT_TRUE(text->isWideString());
    EXPECT_EQ(std::u16string(text->getText16()), u"");
    static_cast<IStringResult*>(object)->setText("r");
    EXPECT_STREQ(text->getText8(), "r");

    // Handing strings to objects.
    String(u"wide \u00E9").copyTo(static_cast<IStringResult*>(object));
    EXPECT_TRUE(object->isWideString());
    EXPECT_EQ(std::u16string(object->getText16()), u"wide \u00E9");
    String("narrow").copyTo(static_cast<IString*>(object));
    EXPECT_FALSE(object->isWideString());
    ResultOnly result;
    String(u"caf\u00E9").copyTo(static_cast<IStringResult*>(&result));
    EXPECT_EQ(result.received, "caf\x8E");
    object->release();
}
