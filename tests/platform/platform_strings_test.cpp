#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdarg>
#include <random>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/strings.h"
#include "platform/uuid.h"

using namespace Platform;

namespace {

std::u16string widen(const std::string& bytes, uint32_t encoding, bool* ok = nullptr)
{
    std::u16string out;
    bool r = decode(bytes.data(), bytes.size(), encoding, out);
    if (ok)
        *ok = r;
    return out;
}

std::string narrow(const std::u16string& text, uint32_t encoding, uint8_t loss = '?', size_t* converted = nullptr)
{
    size_t needed = 0;
    encode(text.data(), text.size(), encoding, loss, nullptr, 0, &needed);
    std::string out(needed, '\0');
    size_t used = 0;
    size_t n = encode(text.data(), text.size(), encoding, loss, out.data(), out.size(), &used);
    if (converted)
        *converted = n;
    out.resize(used);
    return out;
}

std::u16string format(const char16_t* f, ...)
{
    va_list args;
    va_start(args, f);
    std::u16string out = u"<untouched>";
    formatV(f, args, out);
    va_end(args);
    return out;
}

std::u16string ascii(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

std::string cformat(const char* f, ...)
{
    va_list args;
    va_start(args, f);
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, f, args);
    va_end(args);
    return buffer;
}

} // namespace

TEST(PlatformStringsCodePages, CodePageTable)
{
    EXPECT_EQ(encodingForCodePage(0), kEncodingMacRoman);
    EXPECT_EQ(encodingForCodePage(2), kEncodingMacRoman);
    EXPECT_EQ(encodingForCodePage(932), 0x628u);
    EXPECT_EQ(encodingForCodePage(1252), 0x500u);
    EXPECT_EQ(encodingForCodePage(10029), 29u);
    EXPECT_EQ(encodingForCodePage(65001), 0x08000100u);
    EXPECT_EQ(encodingForCodePage(437), kEncodingASCII);
}

TEST(PlatformStringsCodePages, SingleByteCodePagesRoundTripEveryByte)
{
    for (uint32_t encoding : {kEncodingMacRoman, kEncodingMacCentralEurRoman}) {
        std::string all;
        for (int b = 1; b < 256; ++b)
            all.push_back(static_cast<char>(b));
        bool ok = false;
        std::u16string wide = widen(all, encoding, &ok);
        ASSERT_TRUE(ok) << encoding;
        ASSERT_EQ(wide.size(), 255u);
        EXPECT_EQ(narrow(wide, encoding), all) << encoding;
    }
    // Windows Latin 1: every byte it defines comes back unchanged.
    std::string defined;
    for (int b = 1; b < 256; ++b)
        if (b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D)
            defined.push_back(static_cast<char>(b));
    bool ok = false;
    std::u16string wide = widen(defined, kEncodingWindowsLatin1, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(narrow(wide, kEncodingWindowsLatin1), defined);
}

TEST(PlatformStringsCodePages, KnownMappings)
{
    EXPECT_EQ(widen("\xE9", kEncodingWindowsLatin1), u"\u00E9");
    EXPECT_EQ(widen("\x8E", kEncodingMacRoman), u"\u00E9");
    EXPECT_EQ(widen("\x80", kEncodingWindowsLatin1), u"\u20AC");
    EXPECT_EQ(widen("\x87", kEncodingMacCentralEurRoman), u"\u00E1");
    EXPECT_EQ(narrow(u"\u4E2D", kEncodingUTF8), "\xE4\xB8\xAD");
    EXPECT_EQ(narrow(u"\U0001F600", kEncodingUTF8), "\xF0\x9F\x98\x80");
    EXPECT_EQ(widen("\xF0\x9F\x98\x80", kEncodingUTF8), u"\U0001F600");
    // Shift-JIS: kana, kanji, half-width katakana and ASCII.
    std::u16string japanese = u"A\u3042\u65E5\u672C\uFF71z";
    std::string sjis = narrow(japanese, kEncodingDOSJapanese);
    EXPECT_EQ(sjis, "A\x82\xA0\x93\xFA\x96\x7B\xB1z");
    EXPECT_EQ(widen(sjis, kEncodingDOSJapanese), japanese);
}

TEST(PlatformStringsCodePages, LossBytesAndCounts)
{
    size_t converted = 0;
    // One loss byte per character that the code page lacks, surrogate pairs included.
    EXPECT_EQ(narrow(u"a\u4E2Db", kEncodingMacRoman, '?', &converted), "a?b");
    EXPECT_EQ(converted, 3u);
    EXPECT_EQ(narrow(u"\U0001F600x", kEncodingWindowsLatin1, '?', &converted), "?x");
    EXPECT_EQ(converted, 3u);
    EXPECT_EQ(narrow(u"\u00E9t\u00E9", kEncodingASCII, ' ', &converted), " t ");
    // A lone surrogate is not UTF-8.
    EXPECT_EQ(narrow(std::u16string(1, char16_t(0xD800)) + u"x", kEncodingUTF8), "?x");
    // Without a loss byte the conversion stops at the first missing character.
    EXPECT_EQ(narrow(u"ab\u4E2Dcd", kEncodingMacRoman, 0, &converted), "ab");
    EXPECT_EQ(converted, 2u);
    // The destination limit is never exceeded and a character is never split.
    char out[4] = {'#', '#', '#', '#'};
    size_t used = 0;
    std::u16string text = u"a\u4E2D\u4E2D";
    EXPECT_EQ(encode(text.data(), text.size(), kEncodingUTF8, '?', out, 3, &used), 1u);
    EXPECT_EQ(used, 1u);
    EXPECT_EQ(out[1], '#');
    EXPECT_EQ(encode(text.data(), text.size(), kEncodingUTF8, '?', out, 4, &used), 2u);
    EXPECT_EQ(used, 4u);
    EXPECT_EQ(maxSizeForEncoding(10, kEncodingUTF8), 30u);
    EXPECT_EQ(maxSizeForEncoding(10, kEncodingMacRoman), 10u);
}

TEST(PlatformStringsCodePages, InvalidInputFailsToDecode)
{
    bool ok = true;
    widen("ab\x80", kEncodingASCII, &ok);
    EXPECT_FALSE(ok);
    widen("\xC3", kEncodingUTF8, &ok);
    EXPECT_FALSE(ok);
    widen("\xE4\xB8", kEncodingUTF8, &ok);
    EXPECT_FALSE(ok);
    widen("\x82", kEncodingDOSJapanese, &ok);
    EXPECT_FALSE(ok);
    widen("", kEncodingUTF8, &ok);
    EXPECT_TRUE(ok);
    widen("abc", 12345, &ok);
    EXPECT_FALSE(ok);
}

TEST(PlatformStringsCase, UnitCaseMappingAndClasses)
{
    EXPECT_EQ(toUpperUnit(u'a'), u'A');
    EXPECT_EQ(toLowerUnit(u'Z'), u'z');
    EXPECT_EQ(toUpperUnit(u'\u00E9'), u'\u00C9');
    EXPECT_EQ(toLowerUnit(u'\u0394'), u'\u03B4');
    EXPECT_EQ(toUpperUnit(u'\u00DF'), u'\u00DF'); // "SS" is two units: unchanged
    EXPECT_EQ(toUpperUnit(u'1'), u'1');
    EXPECT_TRUE(isAlpha(u'\u00E9'));
    EXPECT_FALSE(isAlpha(u'1'));
    EXPECT_TRUE(isDigit(u'7'));
    EXPECT_TRUE(isSpace(u'\t'));
    EXPECT_TRUE(isSpace(0x3000));
    EXPECT_FALSE(isSpace(u'x'));
    EXPECT_EQ(compareCaseInsensitive(u"ABC", 3, u"abc", 3), 0);
    EXPECT_LT(compareCaseInsensitive(u"abc", 3, u"ABD", 3), 0);
    EXPECT_GT(compareCaseInsensitive(u"abcd", 4, u"ABC", 3), 0);
}

TEST(PlatformStringsCase, NormalisationForms)
{
    std::u16string composed = u"\u00E9\uFB01"; // e-acute, fi ligature
    std::u16string d = composed;
    ASSERT_TRUE(normalize(d, kFormD));
    EXPECT_EQ(d, u"e\u0301\uFB01");
    std::u16string c = d;
    ASSERT_TRUE(normalize(c, kFormC));
    EXPECT_EQ(c, composed);
    std::u16string kd = composed;
    ASSERT_TRUE(normalize(kd, kFormKD));
    EXPECT_EQ(kd, u"e\u0301fi");
    std::u16string kc = composed;
    ASSERT_TRUE(normalize(kc, kFormKC));
    EXPECT_EQ(kc, u"\u00E9fi");
    EXPECT_TRUE(isNormalized(composed.data(), composed.size(), kFormC));
    EXPECT_FALSE(isNormalized(d.data(), d.size(), kFormC));
}

TEST(PlatformStringsNumbers, IntAndDoubleValues)
{
    auto iv = [](const std::u16string& s) { return intValue(s.data(), s.size()); };
    auto dv = [](const std::u16string& s) { return doubleValue(s.data(), s.size()); };
    EXPECT_EQ(iv(u"  -42xyz"), -42);
    EXPECT_EQ(iv(u"+17"), 17);
    EXPECT_EQ(iv(u"abc"), 0);
    EXPECT_EQ(iv(u""), 0);
    EXPECT_EQ(iv(u"99999999999"), INT32_MAX);
    EXPECT_EQ(iv(u"-99999999999"), INT32_MIN);
    EXPECT_EQ(iv(u"-2147483648"), INT32_MIN);
    EXPECT_EQ(intValue(u"123", 2), 12);
    EXPECT_DOUBLE_EQ(dv(u" 3.25"), 3.25);
    EXPECT_DOUBLE_EQ(dv(u"-1e3x"), -1000.0);
    EXPECT_DOUBLE_EQ(dv(u"3,25"), 3.0);
    EXPECT_DOUBLE_EQ(dv(u"x"), 0.0);
}

TEST(PlatformStringsFormat, NumbersMatchTheCLibrary)
{
    EXPECT_EQ(format(u"%d|%5d|%-5d|%05d|%+d", 42, -7, 3, 12, 9),
              ascii(cformat("%d|%5d|%-5d|%05d|%+d", 42, -7, 3, 12, 9)));
    EXPECT_EQ(format(u"%ld %lld %qd", 123456789012L, -9000000000000LL, 5LL),
              ascii(cformat("%ld %lld %lld", 123456789012L, -9000000000000LL, 5LL)));
    EXPECT_EQ(format(u"%u %x %X %#o %hhu %hd", 4000000000u, 255u, 0xABCu, 8u, 300, 70000),
              ascii(cformat("%u %x %X %#o %hhu %hd", 4000000000u, 255u, 0xABCu, 8u, 300, 70000)));
    EXPECT_EQ(format(u"%f %.2f %2.1f %e %g %G %.0f", 3.14159, 2.005, -0.05, 12345.678, 0.0001, 1e20, 2.5),
              ascii(cformat("%f %.2f %2.1f %e %g %G %.0f", 3.14159, 2.005, -0.05, 12345.678, 0.0001, 1e20, 2.5)));
    EXPECT_EQ(format(u"%*d|%-*d|%.*f|%.*f", 6, 1, 4, 2, 3, 1.0, -1, 1.5),
              ascii(cformat("%*d|%-*d|%.*f|%.*f", 6, 1, 4, 2, 3, 1.0, -1, 1.5)));
    EXPECT_EQ(format(u"%lf %Lf %zu", 1.5, static_cast<long double>(2.25), size_t(77)),
              ascii(cformat("%lf %Lf %zu", 1.5, static_cast<long double>(2.25), size_t(77))));
    EXPECT_EQ(format(u"100%% %c", 'x'), u"100% x");
}

TEST(PlatformStringsFormat, TextArguments)
{
    EXPECT_EQ(format(u"[%S]", u"\u4E2Dx"), u"[\u4E2Dx]");
    EXPECT_EQ(format(u"[%6S|%-4S|%.2S]", u"ab", u"c", u"defg"), u"[    ab|c   |de]");
    EXPECT_EQ(format(u"[%s|%5s]", "ab", "\x8E"), u"[ab|    \u00E9]");
    EXPECT_EQ(format(u"%C%C", 0x4E2D, u'!'), u"\u4E2D!");
    EXPECT_EQ(format(u"%S", static_cast<const char16_t*>(nullptr)), u"(null)");
    // An unknown conversion formats nothing.
    EXPECT_EQ(format(u"%@ %d", nullptr, 3), u"<untouched>");
    EXPECT_EQ(format(u"%1$d", 3), u"<untouched>");
}

TEST(PlatformStringsHandles, ReferenceCountsAndMutation)
{
    StringRef s = createStringWithBytes("caf\x8E", 4, kEncodingMacRoman);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::u16string(getCharacters(s)), u"caf\u00E9");
    EXPECT_FALSE(isMutable(s));
    EXPECT_FALSE(appendCharacters(s, u"x", 1));
    EXPECT_EQ(retain(s), s);
    EXPECT_EQ(retainCount(s), 2);
    release(s);
    release(s);
    EXPECT_EQ(createStringWithBytes("\xFF", 1, kEncodingUTF8), nullptr);
    StringRef m = createMutableString();
    EXPECT_TRUE(appendCharacters(m, u"e\u0301", 2));
    EXPECT_TRUE(appendBytes(m, "!", 1, kEncodingASCII));
    EXPECT_FALSE(appendBytes(m, "\x80", 1, kEncodingASCII));
    EXPECT_TRUE(normalizeString(m, kFormC));
    EXPECT_EQ(getLength(m), 2u);
    EXPECT_EQ(std::u16string(getCharacters(m)), u"\u00E9!");
    release(m);
}

TEST(PlatformUUID, VersionFourAndDistinct)
{
    unsigned char a[16], b[16];
    ASSERT_TRUE(createUUID(a));
    ASSERT_TRUE(createUUID(b));
    EXPECT_NE(std::string(reinterpret_cast<char*>(a), 16), std::string(reinterpret_cast<char*>(b), 16));
    EXPECT_EQ(a[6] >> 4, 4);
    EXPECT_EQ(a[8] & 0xC0, 0x80);
    EXPECT_FALSE(createUUID(nullptr));
}

TEST(PlatformBundle, HandlesAndPaths)
{
    char dir[] = "/tmp/platform_bundle_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string resources = std::string(dir) + "/Contents/Resources";
    ASSERT_EQ(std::system(("mkdir -p " + resources + " && touch " + resources + "/skin.srf").c_str()), 0);

    EXPECT_EQ(bundleCreate(nullptr), nullptr);
    EXPECT_EQ(bundleCreate("/nonexistent/folder"), nullptr);
    BundleRef bundle = bundleCreate((std::string(dir) + "/").c_str());
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(bundleRetainCount(bundle), 1);
    bundleRetain(bundle);
    EXPECT_EQ(bundleRetainCount(bundle), 2);
    bundleRelease(bundle);
    EXPECT_EQ(bundleRetainCount(bundle), 1);

    URLRef url = bundleCopyBundleURL(bundle);
    ASSERT_NE(url, nullptr);
    EXPECT_TRUE(urlIsDirectory(url));
    char path[512];
    ASSERT_TRUE(urlGetFileSystemRepresentation(url, path, sizeof path));
    EXPECT_EQ(std::string(path), std::string(dir));
    char tiny[4];
    EXPECT_FALSE(urlGetFileSystemRepresentation(url, tiny, sizeof tiny));
    urlRelease(url);

    URLRef skin = bundleCopyResourceURL(bundle, "skin.srf");
    ASSERT_NE(skin, nullptr);
    ASSERT_TRUE(urlGetFileSystemRepresentation(skin, path, sizeof path));
    EXPECT_EQ(std::string(path), resources + "/skin.srf");
    urlRelease(skin);
    EXPECT_EQ(bundleCopyResourceURL(bundle, "missing.srf"), nullptr);
    bundleRelease(bundle);
    std::system((std::string("rm -rf ") + dir).c_str());
}

TEST(PlatformStringsFormat, RandomConversionsMatchTheCLibrary)
{
    std::mt19937 rng(99);
    const char* flagSets[] = {"", "-", "+", " ", "#", "0", "-+", "+0", "- "};
    const char* intConversions[] = {"d", "i", "u", "x", "X", "o", "lld", "llx", "ld", "hd", "hhu"};
    const char* floatConversions[] = {"f", "e", "E", "g", "G", "a", "lf"};
    for (int i = 0; i < 400; ++i) {
        std::string spec = std::string("<%") + flagSets[rng() % 9];
        if (rng() % 2)
            spec += std::to_string(rng() % 25);
        if (rng() % 2)
            spec += "." + std::to_string(rng() % 12);
        bool isFloat = rng() % 2;
        spec += isFloat ? floatConversions[rng() % 7] : intConversions[rng() % 11];
        spec += ">";
        std::u16string wideSpec(spec.begin(), spec.end());
        char expected[256];
        std::u16string got;
        if (isFloat) {
            double v = std::ldexp(static_cast<double>(static_cast<int32_t>(rng())), static_cast<int>(rng() % 80) - 60);
            std::snprintf(expected, sizeof expected, spec.c_str(), v);
            got = format(wideSpec.c_str(), v);
        } else {
            long long v = static_cast<long long>((static_cast<uint64_t>(rng()) << 32) | rng());
            std::string s = spec;
            if (s.find("ll") != std::string::npos || s.find('l') != std::string::npos) {
                std::snprintf(expected, sizeof expected, spec.c_str(), v);
                got = format(wideSpec.c_str(), v);
            } else {
                int small = static_cast<int>(v);
                std::snprintf(expected, sizeof expected, spec.c_str(), small);
                got = format(wideSpec.c_str(), small);
            }
        }
        EXPECT_EQ(got, ascii(expected)) << spec;
    }
}
