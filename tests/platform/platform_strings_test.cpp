#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <random>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/strings.h"

using namespace Platform;

namespace {

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
}

// What the random comparison below leaves out: '*' widths, other length modifiers, a literal '%'.
TEST(PlatformStringsFormat, NumbersMatchTheCLibrary)
{
    EXPECT_EQ(format(u"%*d|%-*d|%.*f|%.*f", 6, 1, 4, 2, 3, 1.0, -1, 1.5),
              ascii(cformat("%*d|%-*d|%.*f|%.*f", 6, 1, 4, 2, 3, 1.0, -1, 1.5)));
    EXPECT_EQ(format(u"%qd %Lf %zu 100%%", 5LL, static_cast<long double>(2.25), size_t(77)), u"5 2.250000 77 100%");
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

TEST(PlatformStringsNumbers, StrictDecimalReaderAgainstStrtod)
{
    // Decimal texts read as strtod reads them, and exactly their characters are taken.
    for (const char* text : {"0", "-0", "+7", "12.", ".5", "-.25e-3", "1.5e+2x", "12e", "3e+", "0.x", "1e308",
                             "4.9e-324", "007.5", "1 2", "2.5,1"}) {
        char* end = nullptr;
        const double expected = std::strtod(text, &end);
        double value = -1.0;
        EXPECT_EQ(readDecimal(text, std::strlen(text), value), static_cast<size_t>(end - text)) << text;
        EXPECT_EQ(value, expected) << text;
    }
    // No number: the value stays as it was.
    for (const char* text :
         {"", "-", ".", "-.e", "e5", " 1", "nan", "-inf", "Infinity", "1e400", "-1e999", "0x5", "-0X1p3", "0x", "x1"}) {
        double value = 9.0;
        EXPECT_EQ(readDecimal(text, std::strlen(text), value), 0u) << text;
        EXPECT_EQ(value, 9.0) << text;
    }
    // The count bounds the text; the loose 16-bit reader is gone: it shares the strict one.
    double value = 0;
    EXPECT_EQ(readDecimal("12345", 2, value), 2u);
    EXPECT_EQ(value, 12.0);
    EXPECT_EQ(readDecimal(nullptr, 4, value), 0u);
    EXPECT_EQ(doubleValue(u" \u00A0-2.5e1dB", 14), -25.0);
    for (const char16_t* refused : {u"nan", u"inf", u"1e400", u"0x10"})
        EXPECT_EQ(doubleValue(refused, std::char_traits<char16_t>::length(refused)), 0.0);
}

// Integers as strtoll reads them, clamped to 32 bits: beyond 64 bits too (twenty digits and more),
// where the digits still saturate rather than overflow.
TEST(PlatformStringsNumbers, IntValueSaturatesAsStrtollClampedTo32Bits)
{
    std::vector<std::string> texts = {"0", "-0", " \t-17x", "", "-", "x1"};
    for (const char* digits :
         {"2147483647", "2147483648", "2147483649", "9223372036854775807", "9223372036854775808", "9223372036854775809",
          "18446744073709551615", "18446744073709551616", "18446744073709551621", "99999999999999999999",
          "123456789012345678901234567890", "000000000000000000000042"})
        for (const char* sign : {"", "-", "+"})
            texts.push_back(sign + std::string(digits));
    std::mt19937 random(3);
    for (int i = 0; i < 2000; ++i) {
        std::string text = random() % 2 ? "-" : "";
        for (size_t n = 1 + random() % 30; n > 0; --n)
            text += static_cast<char>('0' + random() % 10);
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        const long long wide = std::strtoll(text.c_str(), nullptr, 10);
        const std::u16string u(text.begin(), text.end());
        EXPECT_EQ(intValue(u.data(), u.size()), std::clamp<long long>(wide, INT32_MIN, INT32_MAX)) << text;
    }
}

TEST(PlatformBundle, HandlesAndPaths)
{
    char dir[] = "/tmp/platform_bundle_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string resources = std::string(dir) + "/Contents/Resources";
    ASSERT_EQ(std::system(("mkdir -p " + resources + " && touch " + resources + "/skin.srf").c_str()), 0);

    EXPECT_EQ(bundleCreate("/nonexistent/folder"), nullptr);
    BundleRef bundle = bundleCreate((std::string(dir) + "/").c_str());
    ASSERT_NE(bundle, nullptr);

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
            spec += '.', spec += std::to_string(rng() % 12);
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
