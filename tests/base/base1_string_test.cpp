// String storage, conversions, edits, searches and number formats; random edits, searches and
// comparisons in both widths and mixing them against a plain model; wide literals and fixed
// 16-bit strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>

#include "base/fixedstring16.h"
#include "base/fstring.h"
#include "base/iattributestore.h"
#include "base/istring.h"
#include "base/stringobject.h"
#include "base/wideliteraltable.h"
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
// An attribute container keyed by text; it refuses null ids and counts the calls of set and get.
struct VariantStore : IAttributeStore
{
    std::map<std::string, VariantValue> values;
    int calls = 0;
    tresult queryInterface(const TUID, void** obj) override
    {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult set(const char8* id, const VariantValue& v) override
    {
        ++calls;
        return id ? (values[id] = v, kResultOk) : kResultFalse;
    }
    tresult get(const char8* id, VariantValue& v) override
    {
        ++calls;
        auto it = id ? values.find(id) : values.end();
        return it == values.end() ? kResultFalse : (v = it->second, kResultOk);
    }
};
std::u16string ascii16(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}
std::string narrowAscii(const std::u16string& s)
{
    return std::string(s.begin(), s.end());
}
// The characters one by one, in either width.
std::u16string contents(const String& s)
{
    std::u16string out;
    for (int32 i = 0; i < s.length(); ++i)
        out.push_back(s.getChar(i));
    return out;
}
// The 16-bit text in a caller-owned buffer, up to its terminator or its size.
std::u16string text(const char16* buffer, int32 n)
{
    std::u16string s;
    for (int32 i = 0; i < n && buffer[i]; ++i)
        s.push_back(buffer[i]);
    return s;
}
using Edit = std::function<void(String&)>;
} // namespace

TEST(Base1StringModel, RandomEditsMatchModel)
{
    std::mt19937 rng(1234);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto randomText = [&] {
        std::u16string t;
        int n = pick(6);
        for (int i = 0; i < n; ++i)
            t.push_back(static_cast<char16>('a' + pick(4)));
        return t;
    };
    int lengths = 0;
    for (int round = 0; round < 40; ++round) {
        String s;
        std::u16string model;
        for (int step = 0; step < 150; ++step) {
            std::u16string t = randomText();
            int len = static_cast<int>(model.size());
            int index = pick(len + 2) - 1;
            int n = pick(5) - 1;
            bool wide = pick(2) == 0;
            std::string t8 = narrowAscii(t);
            switch (pick(9)) {
            case 0:
                wide ? s.append(t.c_str(), n) : s.append(t8.c_str(), n);
                model += t.substr(0, n < 0 ? t.size() : static_cast<size_t>(n));
                break;
            case 1:
                if (index >= 0 && index <= len) {
                    wide ? s.insertAt(index, t.c_str(), n) : s.insertAt(index, t8.c_str(), n);
                    model.insert(static_cast<size_t>(index), t.substr(0, n < 0 ? t.size() : static_cast<size_t>(n)));
                }
                break;
            case 2:
                s.remove(index, n);
                if (index >= 0 && index < len && n != 0)
                    model.erase(static_cast<size_t>(index), n < 0 ? std::u16string::npos : static_cast<size_t>(n));
                break;
            case 3: {
                int count = pick(4) - 1;
                s.replace(index, count, ConstString(t.c_str()), n);
                if (index >= 0 && index <= len && count != 0) {
                    size_t c = (count < 0 || index + count > len) ? static_cast<size_t>(len - index)
                                                                  : static_cast<size_t>(count);
                    if (c > 0)
                        model.replace(static_cast<size_t>(index), c,
                                      t.substr(0, n < 0 ? t.size() : static_cast<size_t>(n)));
                }
                break;
            }
            case 4:
                s.append(s); // itself
                model += model;
                if (model.size() > 200)
                    s.remove(100), model.erase(100);
                break;
            case 5:
                wide ? s.toWideString() : s.toMultiByte();
                break;
            case 6:
                wide ? s.assign(t.c_str()) : s.assign(t8.c_str());
                model = t;
                break;
            case 7: {
                std::u16string what = t.substr(0, 2);
                if (!what.empty() && s.replace(what.c_str(), u"Z", true) >= 0) {
                    size_t at = 0;
                    while ((at = model.find(what, at)) != std::u16string::npos)
                        model.replace(at, what.size(), 1, u'Z'), at += 1;
                }
                break;
            }
            case 8:
                if (index >= 0 && index < len) {
                    s.setChar(index, u'Q');
                    model[static_cast<size_t>(index)] = u'Q';
                }
                break;
            }
            ASSERT_EQ(contents(s), model) << "round " << round << " step " << step;
            // Searches and comparisons against the model's own.
            const std::u16string probe = t.substr(0, 2);
            const std::string probe8 = narrowAscii(probe);
            const ConstString p = wide ? ConstString(probe.c_str()) : ConstString(probe8.c_str());
            auto at = [](size_t i) { return i == std::u16string::npos ? -1 : static_cast<int32>(i); };
            auto sign = [](int v) { return (v > 0) - (v < 0); };
            ASSERT_EQ(sign(s.compare(p)), sign(model.compare(probe))) << narrowAscii(probe);
            if (!probe.empty()) {
                ASSERT_EQ(s.findNext(0, p), at(model.find(probe)));
                ASSERT_EQ(s.findPrev(-1, p), at(model.rfind(probe)));
                ASSERT_EQ(s.countOccurences(probe[0], 0), std::count(model.begin(), model.end(), probe[0]));
                ASSERT_EQ(s.startsWith(p), model.starts_with(probe));
                ASSERT_EQ(s.endsWith(p), model.ends_with(probe));
            }
            ASSERT_EQ(s.length(), static_cast<int32>(model.size()));
            if (s.rawText()) {
                // The text is terminated in its width.
                ASSERT_EQ(s.isWideString() ? static_cast<const char16*>(s.rawText())[s.length()]
                                           : static_cast<const char8*>(s.rawText())[s.length()],
                          0);
            }
        }
        lengths += static_cast<int>(model.size());
    }
    EXPECT_GT(lengths, 40 * 5); // the edits did build up text
}

TEST(Base1StringStorage, WidthSelfAssignmentMovesResizesAndCountedCopies)
{
    String a("abc", 2);
    a.assign("xyz", -1, false); // not terminated, no count: unchanged
    EXPECT_EQ(u8(a), "ab");
    a.assign(u'z', 3);
    a.assign(a.text16()); // its own text: nothing happens
    EXPECT_EQ(u16(a), u"zzz");
    a.assign(ConstString(a, 1)); // a view into its own buffer
    EXPECT_EQ(u16(a), u"zz");
    String moved(std::move(a));
    EXPECT_EQ(u16(moved), u"zz");
    EXPECT_EQ(a.rawText(), nullptr);
    String narrow("narrow");
    narrow.take(moved);
    EXPECT_TRUE(narrow.isWideString());
    EXPECT_EQ(u16(narrow), u"zz");
    EXPECT_EQ(moved.rawText(), nullptr);
    EXPECT_TRUE(narrow.extract(narrow, 1, 1)); // into itself
    EXPECT_EQ(u16(narrow), u"z");

    // A failed resize keeps the width and the text.
    String s("abc");
    EXPECT_FALSE(s.resize(-1, true));
    EXPECT_FALSE(s.resize(ConstString::kMaxLength + 1, true));
    EXPECT_FALSE(s.setChar(ConstString::kMaxLength, 'x'));
    EXPECT_FALSE(s.isWideString());
    EXPECT_EQ(u8(s), "abc");
    EXPECT_TRUE(s.resize(5, false, true));
    EXPECT_EQ(std::string(s.text8(), 5), "abc  ");
    // Same byte size in the other width: the shorter text is still terminated.
    String w("abc");
    ASSERT_TRUE(w.resize(1, true));
    w.updateLength();
    EXPECT_LE(w.length(), 1);

    // Characters and counted copies.
    s.assign("abc");
    EXPECT_TRUE(s.setChar(5, u'x'));
    EXPECT_EQ(u8(s), "abc  x");
    EXPECT_TRUE(s.setChar(2, char16(0)));
    EXPECT_EQ(u8(s), "ab");
    EXPECT_FALSE(s.setChar(0, u'\u4E2D')); // no single byte in the default code page
    EXPECT_TRUE(s.setChar(0, u'\u00E9'));
    EXPECT_EQ(static_cast<uint8>(s.getChar8(0)), 0x8E);

    String longText;
    longText.assign('x', 300);
    unsigned char pascal[300];
    longText.toPascalString(pascal);
    EXPECT_EQ(pascal[0], 255); // the length byte is clamped
    char16 dest16[16];
    EXPECT_EQ(String("hello").copyTo16(dest16, 1, 3), 3);
    EXPECT_EQ(std::u16string(dest16), u"ell");
    char8 dest8[16];
    EXPECT_EQ(String(u"h\u00E9llo").copyTo8(dest8, 1), 4);
    EXPECT_STREQ(dest8, "\x8Ello");
}

// A count beyond what is left from the index copies the rest: the count and the units are right,
// and the destination is terminated right after them. Nothing past the source's end is read:
// each text lies once in a heap block of exactly its size, and once followed by more text.
TEST(Base1StringConversion, CountedCopiesBeyondTheEndTakeTheRest)
{
    const std::u16string wide = u"ab\u00E9c", padded16(u"ab\u00E9c\0ef", 7);
    const std::string narrow = "ab\216c", padded8("ab\216c\0ef", 7); // \216: the default code page's e acute
    std::unique_ptr<char16[]> exact16(new char16[5]);
    std::unique_ptr<char8[]> exact8(new char8[5]);
    std::copy(wide.c_str(), wide.c_str() + 5, exact16.get());
    std::copy(narrow.c_str(), narrow.c_str() + 5, exact8.get());
    for (const ConstString& source : {ConstString(exact16.get()), ConstString(padded16.c_str()),
                                      ConstString(exact8.get()), ConstString(padded8.c_str())})
        for (int32 index : {0, 1, 3})
            for (int32 n : {4 - index, 5 - index, 4, 100, INT32_MAX}) {
                char16 dest16[16];
                std::fill(std::begin(dest16), std::end(dest16), u'#');
                ASSERT_EQ(source.copyTo16(dest16, index, n), 4 - index) << index << " " << n;
                EXPECT_EQ(std::u16string(dest16, 6 - index), wide.substr(index) + u'\0' + u'#');
                char8 dest8[16];
                std::fill(std::begin(dest8), std::end(dest8), '#');
                ASSERT_EQ(source.copyTo8(dest8, index, n), 4 - index) << index << " " << n;
                EXPECT_EQ(std::string(dest8, 6 - index), narrow.substr(index) + '\0' + '#');
            }
}

TEST(Base1StringConversion, CodePagesStaticConvertersPlatformStringsAndVariants)
{
    auto widened = [](const char* bytes, uint32 codePage) {
        String s(bytes);
        return s.toWideString(codePage) ? u16(s) : u8(s) == bytes ? u"(failed, unchanged)" : u"(failed, changed)";
    };
    auto narrowed = [](const char16* text, uint32 codePage) {
        String s(text);
        return s.toMultiByte(codePage) ? u8(s) : "(failed)";
    };
    EXPECT_EQ(widened("\xE9", kCP_ANSI), u"\u00E9");
    EXPECT_EQ(widened("\x8E", kCP_Default), u"\u00E9");
    EXPECT_EQ(widened("\x87", kCP_MacCEE), u"\u00E1");
    EXPECT_EQ(widened("\xE4\xB8\xAD!", kCP_Utf8), u"\u4E2D!");
    EXPECT_EQ(widened("\x93\xFA\x96\x7B\x8C\xEAz", kCP_ShiftJIS), u"\u65E5\u672C\u8A9Ez");
    EXPECT_EQ(widened("(\xC3(", kCP_Utf8), u"(failed, unchanged)");
    EXPECT_EQ(narrowed(u"\u00E9", kCP_Default), "\x8E");
    EXPECT_EQ(narrowed(u"\u4E2D", kCP_Default), "?");
    EXPECT_EQ(narrowed(u"na\u00EFve", kCP_US_ASCII), "na?ve");
    String reencoded("\x8E"); // 8-bit text goes through 16 bits into the other code page
    ASSERT_TRUE(reencoded.toMultiByte(kCP_Utf8));
    EXPECT_EQ(u8(reencoded), "\xC3\xA9");

    // The static converters clamp to the destination.
    char16 wide[8];
    EXPECT_EQ(String::multiByteToWideString(nullptr, "abc", 0, kCP_Default), 4);
    EXPECT_EQ(String::multiByteToWideString(wide, "abcdef", 2, kCP_Default), 3);
    EXPECT_EQ(std::u16string(wide), u"ab");
    char8 narrow[8];
    EXPECT_EQ(String::wideStringToMultiByte(nullptr, u"\u4E2D\u4E2D", 0, kCP_Utf8), 6);
    EXPECT_EQ(String::wideStringToMultiByte(narrow, u"a\u4E2Db", 7, kCP_Default), 4);
    EXPECT_STREQ(narrow, "a?b");
    EXPECT_EQ(String::wideStringToMultiByte(narrow, u"\u4E2D\u4E2D", 4, kCP_Utf8), 4); // no half character
    EXPECT_STREQ(narrow, "\xE4\xB8\xAD");

    // Platform strings, normalisation and variants.
    EXPECT_FALSE(String("abc").normalize(ConstString::kNormalizationC)); // 16-bit text only

    PlatformStringRef p = String(u"caf\u00E9").toCFString();
    ASSERT_NE(p, nullptr);
    String back;
    EXPECT_TRUE(back.fromCFString(p));
    EXPECT_EQ(u16(back), u"caf\u00E9");
    String utf("x");
    EXPECT_TRUE(utf.fromCFString(p, Platform::kEncodingUTF8));
    EXPECT_EQ(u8(utf), "caf\xC3\xA9"); // three bytes per unit may be needed: sized for it
    String ascii("x");
    EXPECT_FALSE(ascii.fromCFString(p)); // ASCII cannot hold it: emptied
    EXPECT_EQ(ascii.length(), 0);
    Platform::release(p);
    EXPECT_EQ(String("\x80").toCFString(), nullptr); // not ASCII

    // Variants.
    VariantValue v;
    String s(u"text");
    s.toVariant(v);
    EXPECT_FALSE(v.isOwner());
    EXPECT_EQ(v.getString16(), s.rawText());
    s.passToVariant(v);
    EXPECT_TRUE(v.isOwner());
    EXPECT_EQ(s.rawText(), nullptr);
    EXPECT_EQ(u16(ConstString(v)), u"text");
    String n;
    EXPECT_TRUE(n.fromVariant(VariantValue(int64(-5))));
    EXPECT_EQ(u16(n), u"-5");
    VariantValue object;
    object.setObject(nullptr);
    EXPECT_FALSE(n.fromVariant(object));
    EXPECT_EQ(n.length(), 0);
}

TEST(Base1StringConversion, PascalBytesAndAttributeStores)
{
    // The length byte is unsigned and the bytes after it are not terminated.
    const unsigned char abc[] = {3, 'A', 'B', 'C', 'x'};
    String s(u"old");
    s.fromPascalString(abc);
    EXPECT_FALSE(s.isWideString());
    EXPECT_EQ(u8(s.fromPascalString(nullptr)), "ABC");
    String longText;
    longText.assign('\xE9', 300);
    unsigned char pascal[256];
    longText.toPascalString(pascal);
    EXPECT_EQ(u8(s.fromPascalString(pascal)), std::string(255, '\xE9'));

    VariantStore store;
    String wide(u"caf\u00E9"), back("x");
    EXPECT_TRUE(wide.toAttributes(&store, "a"));
    store.values["n"] = VariantValue(int64(-7));
    EXPECT_EQ(u16(wide), u"caf\u00E9"); // lent to the store, not handed over
    EXPECT_TRUE(back.fromAttributes(&store, "a"));
    EXPECT_EQ(u16(back), u"caf\u00E9");
    EXPECT_TRUE(back.fromAttributes(&store, "n"));
    // Missing ids, refusals and absent stores fail and leave the string as it was.
    EXPECT_FALSE(back.fromAttributes(&store, "missing"));
    EXPECT_FALSE(back.fromAttributes(nullptr, "a"));
    EXPECT_EQ(u8(back), "-7");
    EXPECT_FALSE(wide.toAttributes(&store, nullptr));
}

// The host calls the container by slot: set in the fourth, get in the seventh, 0 on success.
TEST(Base1StringConversion, AttributeStoreOperationsSitAtTheirSlots)
{
    VariantStore store;
    IAttributeStore* host = &store;
    void** table = *reinterpret_cast<void***>(host);
    using Set = tresult (*)(IAttributeStore*, const char8*, const VariantValue&);
    using Get = tresult (*)(IAttributeStore*, const char8*, VariantValue&);
    const Set set = reinterpret_cast<Set>(table[3]);
    const Get get = reinterpret_cast<Get>(table[6]);
    EXPECT_EQ(set(host, "k", VariantValue(int64(12))), kResultOk);
    EXPECT_EQ(set(host, nullptr, VariantValue(int64(1))), kResultFalse);
    VariantValue v;
    EXPECT_EQ(get(host, "k", v), kResultOk);
    EXPECT_EQ(v.getInt(), 12);
    EXPECT_EQ(get(host, "none", v), kResultFalse);
    // String's conversion reaches exactly these two slots.
    EXPECT_TRUE(String(u"t").toAttributes(&store, "s"));
    String back;
    EXPECT_TRUE(back.fromAttributes(&store, "s"));
    EXPECT_EQ(u16(back), u"t");
    EXPECT_EQ(store.calls, 6);
}

// Plain ASCII edits in both widths are in the model test; these are the edits that change the
// width, read from the string itself or take other paths.
TEST(Base1StringEdit, WidthChangesAndSourcesInsideTheString)
{
    String s("ab");
    s.append(s);
    s.append(s.text8() + 1, 2);
    EXPECT_EQ(u8(s), "ababba");
    String w(u"xyxyxyxy");
    w.insertAt(1, w.text16(), 3);
    EXPECT_EQ(u16(w), u"xxyxyxyxyxy");
    w.replace(0, 2, ConstString(w, 8));
    EXPECT_EQ(u16(w), u"yxyyxyxyxyxy");

    const struct
    {
        const char16* start; // also run narrowed when it is ASCII
        Edit edit;
        std::u16string result;
    } cases[] = {
        {u"abc", [](String& t) { t.append(u"\u00E9"), t.append("\x8E"); }, u"abc\u00E9\u00E9"},
        {u"e", [](String& t) { t.append(u'\u4E2D'), t.append('x', 0), t.append("abc", 1); }, u"e\u4E2Da"},
        {u"world", [](String& t) { t.insertAt(0, u"\u00BF"); }, u"\u00BFworld"},
        {u"aXYZ!", [](String& t) { t.replace(0, 4, u"\u00E9"); }, u"\u00E9!"},
        {u"a.b", [](String& t) { EXPECT_TRUE(t.replaceChars(u".", u'\u4E2D')); }, u"a\u4E2Db"}, // goes on in 16 bits
        {u"one two two", [](String& t) { EXPECT_EQ(t.replace(u"two", u"2"), 1); }, u"one 2 two"},
        {u"aXa", [](String& t) { EXPECT_EQ(t.replace(u"a", u"aa", true), 2); }, u"aaXaa"}, // goes on after each
        {u"x--y--z", [](String& t) { t.removeSubString("--"); }, u"xyz"},
        {u"xyz", [](String& t) { t.removeSubString(t); }, u""},
        {u"aBcAbC", [](String& t) { t.removeSubString("abc", ConstString::kCaseInsensitive); }, u""},
        {u"a-b_c 1!", [](String& t) { t.removeChars(ConstString::kNotAlphaNum); }, u"abc1"},
        {u"a1 \u00E9", [](String& t) { t.removeChars(ConstString::kNotAlpha); }, u"a\u00E9"},
        {u" a\tb\u3000c ", [](String& t) { t.removeChars(ConstString::kSpace); }, u"abc"},
        {u"b\u00E9b\u00E9", [](String& t) { EXPECT_TRUE(t.removeChars("\x8E")); }, u"bb"},
        {u"a.b,c", [](String& t) { EXPECT_TRUE(t.replaceChars(".,", 0)); }, u"a b c"},
        {u"a.b", [](String& t) { EXPECT_TRUE(t.replaceChars(u".", u'\u2022')); }, u"a\u2022b"},
        {u"  x ", [](String& t) { EXPECT_TRUE(t.trim() && !t.trim()); }, u"x"},
        {u"--a-b--", [](String& t) { EXPECT_TRUE(t.trim(ConstString::kNotAlphaNum)); }, u"a-b"},
    };
    for (const auto& c : cases)
        for (bool narrow : {false, true}) {
            String t(c.start);
            if (narrow && !(ConstString(c.start).isAsciiString() && t.toMultiByte()))
                continue;
            c.edit(t);
            t.toWideString();
            EXPECT_EQ(u16(t), c.result) << std::string(c.result.begin(), c.result.end()) << narrow;
        }
    String empty;
    empty.insertAt(0, "keeps its width");
    EXPECT_TRUE(empty.isWideString());
}

TEST(Base1StringSearch, FindCountAndEnds)
{
    ConstString s("abcabc"), w(u"\u00C9t\u00E9");
    const int32 ci = ConstString::kCaseInsensitive;
    const std::pair<int32, int32> cases[] = {
        {s.findFirst(1, 'a', 0, 3), 3},
        {s.findFirst(-4, 'c'), 2},
        {s.findFirst(0, u'\u4E2D'), -1},
        {s.findFirst(0, 'B', ci), 1},
        {s.findNext(0, "cab", -1, 0, 2), 2},
        {s.findNext(0, "cax", 2), 2},
        {s.findNext(0, ""), -1},
        {s.findPrev(10, 'c'), 5},
        {s.countOccurences('b', 2), 1},
        {w.findFirst(0, u'\u00C9', ci, -1), 0},
        {w.findFirst(1, '\x8E'), 2}, // the byte of the default code page
        {w.findNext(0, "t\x8E"), 1},
        {w.findPrev(-1, u'\u00E9', ci), 2},
        {ConstString("abc").getFirstDifferent("ab"), 2},
        {ConstString("ABC").getFirstDifferent(u"abc", ci), -1},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    EXPECT_TRUE(s.contains(u"CA", ci));
    EXPECT_FALSE(s.contains(u"CA"));
    EXPECT_TRUE(s.testChar(6, char8(0)));
    EXPECT_TRUE(ConstString("prefix.txt").endsWith(u".TXT", ci));
    EXPECT_FALSE(ConstString("ab").startsWith(""));
    EXPECT_TRUE(ConstString("").startsWith(""));
}

TEST(Base1StringSearch, CompareNaturalOrderCaseAndCharacterClasses)
{
    const int32 ci = ConstString::kCaseInsensitive;
    auto sign = [](int32 v) { return (v > 0) - (v < 0); };
    const std::pair<int32, int32> cases[] = {
        {ConstString("ABC").compare("abc", ci), 0},
        {ConstString(u"\u00C9").compare(u"\u00E9", ci), 0},
        {ConstString("abc").compare("abd", 2, 0), 0},
        {ConstString("caf\x8E").compare(u"caf\u00E9"), 0}, // 8-bit side widened
        {ConstString(u"caf\u00E9").compare("cafe"), 1},
        {ConstString("file9").naturalCompare("file10"), -1},
        {ConstString("file010").naturalCompare("file10"), 1},
        {ConstString("abc").naturalCompare("ABC", 1), 0},
        {ConstString("x7y").naturalCompare("x12y"), -1},
        {ConstString("track 2 take 9").naturalCompare("track 2 take 10"), -1},
        {ConstString(u"file9").naturalCompare("file10"), -1}, // mixed widths
        {String().naturalCompare(String()), 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(sign(cases[i].first), cases[i].second) << "case " << i;
    EXPECT_EQ(ConstString(u"abc").compare(u"abe"), 'c' - 'e');
    EXPECT_NE(ConstString("abc").naturalCompare("ABC", 0), 0);

    // Case and character classes.
    String s("Hello W\x8Erld");
    s.toUpper();
    EXPECT_EQ(u8(s), "HELLO W\x8E"
                     "RLD");
    String w(u"stra\u00DFe \u00E9t\u00E9");
    w.toUpper();
    EXPECT_EQ(u16(w), u"STRA\u00DFE \u00C9T\u00C9");
    w.toLower();
    EXPECT_EQ(u16(w), u"stra\u00DFe \u00E9t\u00E9");
    EXPECT_FALSE(ConstString::isCharAlpha('\xE9'));
    EXPECT_FALSE(ConstString::isCharUnicodeSpace(u'\u2000'));
    EXPECT_FALSE(ConstString("pl\xE9").isAsciiString());
    EXPECT_TRUE(String().isAsciiString());
}

TEST(Base1StringFormat, PrintfCutsAtTheBufferLimitAndSixteenBitFormattingMatchesSnprintf)
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

    // 16-bit formatting matches the C library's 8-bit formatting.
    const char* formats[] = {"%2.1f|%lld", "%.3f dB %+lld", "%10.4e [%-8lld]", "%g %05lld", "0%lld:", "%lld:"};
    for (const char* f : formats)
        for (double d : {-23.456, 0.0, 1e-7, 123456.789, -0.05})
            for (long long i : {0LL, -1LL, 42LL, 9000000000LL}) {
                const bool withDouble = f[0] == '%' && f[1] != 'l';
                char expected[256];
                String s;
                if (withDouble)
                    std::snprintf(expected, sizeof expected, f, d, i), s.printf(ascii16(f).c_str(), d, i);
                else
                    std::snprintf(expected, sizeof expected, f, i), s.printf(ascii16(f).c_str(), i);
                EXPECT_EQ(u16(s), ascii16(expected)) << f;
            }
    String t;
    t.printf(u"%s and %S and %%s", u"wide", u"also");
    EXPECT_EQ(u16(t), u"wide and also and %s");
    t.printf(u"%d %@", 1, nullptr); // cannot be formatted: unchanged
    EXPECT_EQ(u16(t), u"wide and also and %s");

    // snwprintf never passes the size.
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
    EXPECT_EQ(String::snwprintf(dest, 8, u"%Z"), -1);
    EXPECT_EQ(std::u16string(dest), u"%sz");
}

TEST(Base1StringFormat, PrintNumbersScannersAndTrailingNumbers)
{
    const std::pair<double, const char*> floats[] = {
        {1.25, "1.25"},         {3.0, "3.0"}, {-0.5, "-0.5"}, {0.0, "0.0"}, {1e20, "100000000000000000000.0"},
        {0.1234567, "0.123457"}};
    for (bool wide : {false, true})
        for (auto [value, text] : floats) {
            String s;
            if (!wide)
                s.assign("");
            s.printFloat(value);
            EXPECT_EQ(s.isWideString(), wide);
            EXPECT_STREQ(String(s).text8(), text);
        }

    // Scanners and trailing numbers.
    auto scan = [](const ConstString& text, int32 offset, bool skip) {
        int64 v = -1;
        return std::make_pair(text.scanInt64(v, offset, skip), v);
    };
    EXPECT_EQ(scan("x12", 0, false), std::make_pair(false, int64(-1)));
    EXPECT_EQ(scan("x12", 0, true), std::make_pair(true, int64(12)));
    EXPECT_EQ(scan("x-13", 1, false), std::make_pair(true, int64(-13)));
    EXPECT_EQ(scan("12", 2, true), std::make_pair(false, int64(-1)));
    EXPECT_EQ(scan(String(), 0, true), std::make_pair(false, int64(-1)));
    EXPECT_EQ(scan(u"level 42", 0, true), std::make_pair(true, int64(42)));
    // Narrower results keep the low bits.
    int32 i32 = 0;
    EXPECT_TRUE(ConstString("4294967297").scanInt32(i32));
    EXPECT_EQ(i32, 1);
    uint64 u64 = 0;
    EXPECT_TRUE(ConstString(u"18446744073709551615").scanUInt64(u64));
    EXPECT_EQ(u64, UINT64_MAX);
    uint8 hex = 0;
    EXPECT_TRUE(ConstString("1FF").scanHex(hex));
    EXPECT_EQ(hex, 0xFF);
    // A comma reads as the decimal point (more in the locale test), from any offset.
    auto scanFloat = [](const ConstString& text, int32 offset = 0) {
        double d = 9;
        return text.scanFloat(d, offset) ? d : -99.0;
    };
    EXPECT_DOUBLE_EQ(scanFloat("1,5,5"), 1.5);
    EXPECT_DOUBLE_EQ(scanFloat("a 1,2 3,4", 5), 3.4);
    EXPECT_DOUBLE_EQ(scanFloat("none"), -99.0);
    int64 s8 = 0;
    EXPECT_TRUE(ConstString::scanInt64_16(u" 77", s8, false));
    EXPECT_EQ(s8, 77);
    EXPECT_FALSE(ConstString::scanInt64_8(nullptr, s8));

    // Trailing numbers.
    EXPECT_EQ(ConstString("Take12").getTrailingNumber(7), 12);
    EXPECT_EQ(ConstString("Take").getTrailingNumber(7), 7);
    EXPECT_EQ(ConstString(u"Take-3").getTrailingNumber(), 3);
    auto next = [](const char16* start, bool narrow, uint32 width, char16 separator, int32 first = 0) {
        String s(start);
        if (narrow)
            s.toMultiByte();
        EXPECT_TRUE(s.incrementTrailingNumber(width, separator, first));
        s.toWideString();
        return u16(s);
    };
    EXPECT_EQ(next(u"Track", true, 0, ' '), u"Track 1");
    EXPECT_EQ(next(u"Take_009", true, 3, '_'), u"Take_010");
    EXPECT_EQ(next(u"", false, 2, 0, 5), u"05");
    EXPECT_EQ(next(u"Mix", false, 1, u'\u2013'), u"Mix\u20131");
    EXPECT_EQ(next(u"Mix", true, 1, u'\u4E2D'), u"Mix\u4E2D1"); // continues in 16 bits
    String fmt(u"Take 7");
    EXPECT_TRUE(fmt.incrementTrailingNumber(3, ' ', 0, true));
    EXPECT_EQ(u16(fmt), u"Take 007");
    EXPECT_FALSE(fmt.incrementTrailingNumber(33, ' ', 0));
    EXPECT_EQ(u16(fmt), u"Take 007");
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

TEST(Base1StringObject, TextInAndOut)
{
    auto* object = new StringObject;
    IString* text = object;
    text->setText8("abc");
    EXPECT_EQ(std::u16string(text->getText16()), u"abc");
    EXPECT_TRUE(text->isWideString());
    char16 mine[] = u"kept";
    text->take(mine, true); // copied, not adopted
    EXPECT_NE(text->getText16(), mine);
    EXPECT_STREQ(text->getText8(), "kept");
    text->setText16(nullptr);
    EXPECT_EQ(std::u16string(text->getText16()), u"");

    String(u"wide \u00E9").copyTo(static_cast<IStringResult*>(object));
    EXPECT_EQ(std::u16string(object->getText16()), u"wide \u00E9");
    String("narrow").copyTo(static_cast<IString*>(object));
    EXPECT_FALSE(object->isWideString());
    ResultOnly result;
    String(u"caf\u00E9").copyTo(static_cast<IStringResult*>(&result));
    EXPECT_EQ(result.received, "caf\x8E");
    object->release();
}

// Wide literals and 16-bit text in caller-owned buffers, which must stay terminated inside them.
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
