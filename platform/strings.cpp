#include "platform/strings.h"
#include "platform/refcounted.h"
#include "platform/threadlocal.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <new>
#include <string>

namespace Platform {

namespace {

const char* converterName(uint32_t encoding)
{
    switch (encoding) {
    case kEncodingMacRoman:
        return "macintosh";
    case kEncodingMacCentralEurRoman:
        return "x-mac-centraleurroman";
    case kEncodingWindowsLatin1:
        return "windows-1252";
    case kEncodingDOSJapanese:
        return "windows-31j";
    case kEncodingUTF8:
        return "UTF-8";
    default:
        return nullptr;
    }
}

// The encodings that take an ICU converter, in the order of the cache's slots.
constexpr uint32_t kConvertedEncodings[] = {kEncodingMacRoman, kEncodingMacCentralEurRoman, kEncodingWindowsLatin1,
                                            kEncodingDOSJapanese, kEncodingUTF8};
constexpr size_t kConverterSlots = 2 * (sizeof kConvertedEncodings / sizeof kConvertedEncodings[0]);

// Strict: a sequence or character the encoding lacks is an error, never a guess. Null when the
// converter cannot be had (no memory, among others).
UConverter* openConverter(uint32_t encoding)
{
    const char* name = converterName(encoding);
    if (!name)
        return nullptr;
    UErrorCode error = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(name, &error);
    if (U_FAILURE(error) || !converter)
        return nullptr;
    ucnv_setToUCallBack(converter, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    ucnv_setFromUCallBack(converter, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    ucnv_setFallback(converter, false);
    if (U_FAILURE(error)) {
        ucnv_close(converter);
        return nullptr;
    }
    return converter;
}

// ICU converters are not thread-safe: each thread keeps its own, closed when it ends. The cache
// hangs off a thread-specific slot, whose registration allocates nothing (a language thread-local
// with a destructor registers it on first use, and that registration cannot fail safely).
struct ConverterCache
{
    UConverter* slots[kConverterSlots] = {};
    ~ConverterCache()
    {
        for (UConverter* c : slots)
            if (c)
                ucnv_close(c);
    }
    static void destroy(void* cache) { delete static_cast<ConverterCache*>(cache); }
};

ConverterCache* threadConverters()
{
    struct Slot
    {
        uint32_t key = 0;
        bool made = threadLocalCreate(&key, &ConverterCache::destroy);
    };
    static const Slot slot;
    if (!slot.made)
        return nullptr;
    auto* cache = static_cast<ConverterCache*>(threadLocalGet(slot.key));
    if (!cache) {
        cache = new (std::nothrow) ConverterCache;
        if (cache && !threadLocalSet(slot.key, cache)) {
            delete cache;
            cache = nullptr;
        }
    }
    return cache;
}

// The converter of one conversion: the thread's cached one, or, when the thread has no cache, one
// of its own that goes with it. A converter that cannot be had is tried again by the next one.
class Converter
{
public:
    Converter(uint32_t encoding, bool toUnicode)
    {
        size_t index = 0;
        while (index < kConverterSlots / 2 && kConvertedEncodings[index] != encoding)
            ++index;
        if (index == kConverterSlots / 2)
            return;
        if (ConverterCache* cache = threadConverters()) {
            UConverter*& slot = cache->slots[index * 2 + (toUnicode ? 1 : 0)];
            if (!slot)
                slot = openConverter(encoding);
            converter = slot;
            return;
        }
        converter = own = openConverter(encoding);
    }
    ~Converter()
    {
        if (own)
            ucnv_close(own);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    UConverter* get() const { return converter; }

private:
    UConverter* converter = nullptr;
    UConverter* own = nullptr;
};

// Encodings that read every ASCII byte as that character.
bool asciiCompatible(uint32_t encoding)
{
    return encoding == kEncodingMacRoman || encoding == kEncodingMacCentralEurRoman ||
           encoding == kEncodingWindowsLatin1 || encoding == kEncodingUTF8;
}

bool isKnownEncoding(uint32_t encoding)
{
    return encoding == kEncodingUnicode || encoding == kEncodingASCII || converterName(encoding) != nullptr;
}

// Bytes of one code point (1 or 2 units) in the encoding; 0 when the encoding lacks it.
size_t encodeCodePoint(const char16_t* units, size_t count, uint32_t encoding, char* out)
{
    char32_t cp = units[0];
    bool lone = false;
    if (count == 2) {
        cp = 0x10000 + ((char32_t(units[0]) - 0xD800) << 10) + (char32_t(units[1]) - 0xDC00);
    } else if (units[0] >= 0xD800 && units[0] <= 0xDFFF) {
        lone = true;
    }
    switch (encoding) {
    case kEncodingUnicode:
        std::memcpy(out, units, count * 2);
        return count * 2;
    case kEncodingASCII:
        if (cp >= 0x80)
            return 0;
        out[0] = static_cast<char>(cp);
        return 1;
    case kEncodingUTF8:
        if (lone)
            return 0;
        if (cp < 0x80) {
            out[0] = static_cast<char>(cp);
            return 1;
        }
        if (cp < 0x800) {
            out[0] = static_cast<char>(0xC0 | (cp >> 6));
            out[1] = static_cast<char>(0x80 | (cp & 0x3F));
            return 2;
        }
        if (cp < 0x10000) {
            out[0] = static_cast<char>(0xE0 | (cp >> 12));
            out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[2] = static_cast<char>(0x80 | (cp & 0x3F));
            return 3;
        }
        out[0] = static_cast<char>(0xF0 | (cp >> 18));
        out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[3] = static_cast<char>(0x80 | (cp & 0x3F));
        return 4;
    default: {
        if (lone)
            return 0;
        Converter held(encoding, false);
        UConverter* converter = held.get();
        if (!converter)
            return 0;
        UErrorCode error = U_ZERO_ERROR;
        int32_t n = ucnv_fromUChars(converter, out, 8, reinterpret_cast<const UChar*>(units),
                                    static_cast<int32_t>(count), &error);
        ucnv_reset(converter);
        if (U_FAILURE(error))
            return 0;
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
    }
}

locale_t cLocale()
{
    static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The calling thread reads and writes numbers in the C locale while this lives.
class CLocaleScope
{
public:
    CLocaleScope() : previous(cLocale() ? uselocale(cLocale()) : static_cast<locale_t>(nullptr)) {}
    ~CLocaleScope()
    {
        if (previous)
            uselocale(previous);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous;
};

} // namespace

uint32_t encodingForCodePage(uint32_t codePage)
{
    switch (codePage) {
    case 0:
    case 2:
        return kEncodingMacRoman;
    case 932:
        return kEncodingDOSJapanese;
    case 1252:
        return kEncodingWindowsLatin1;
    case 10029:
        return kEncodingMacCentralEurRoman;
    case 65001:
        return kEncodingUTF8;
    default:
        return kEncodingASCII;
    }
}

bool decode(const void* bytes, size_t size, uint32_t encoding, std::u16string& out)
try {
    const auto* in = static_cast<const unsigned char*>(bytes);
    out.clear();
    if (size == 0)
        return isKnownEncoding(encoding);
    if (!in)
        return false;
    switch (encoding) {
    case kEncodingUnicode:
        if (size % 2)
            return false;
        out.resize(size / 2);
        std::memcpy(out.data(), in, size);
        return true;
    case kEncodingASCII:
        out.reserve(size);
        for (size_t i = 0; i < size; ++i) {
            if (in[i] >= 0x80)
                return out.clear(), false;
            out.push_back(in[i]);
        }
        return true;
    default: {
        // ASCII reads as itself in these: no converter is needed (numbers among others).
        if (asciiCompatible(encoding) && std::all_of(in, in + size, [](unsigned char b) { return b < 0x80; })) {
            out.assign(in, in + size);
            return true;
        }
        Converter held(encoding, true);
        UConverter* converter = held.get();
        if (!converter || size > static_cast<size_t>(INT32_MAX / 2))
            return false;
        UErrorCode error = U_ZERO_ERROR;
        auto length = static_cast<int32_t>(size);
        // Every byte yields at most two units.
        out.resize(size * 2 + 1);
        int32_t n = ucnv_toUChars(converter, reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                  reinterpret_cast<const char*>(in), length, &error);
        ucnv_reset(converter);
        if (U_FAILURE(error))
            return out.clear(), false;
        out.resize(static_cast<size_t>(n));
        return true;
    }
    }
} catch (...) {
    // Out of memory, as any other failure: false, nothing kept.
    out.clear();
    return false;
}

size_t encode(const char16_t* units, size_t count, uint32_t encoding, uint8_t lossByte, void* dest, size_t capacity,
              size_t* usedBytes)
{
    size_t used = 0, done = 0;
    auto* out = static_cast<char*>(dest);
    if (units && isKnownEncoding(encoding)) {
        while (done < count) {
            size_t step = 1;
            if (units[done] >= 0xD800 && units[done] <= 0xDBFF && done + 1 < count && units[done + 1] >= 0xDC00 &&
                units[done + 1] <= 0xDFFF)
                step = 2;
            char bytes[8];
            size_t n = encodeCodePoint(units + done, step, encoding, bytes);
            if (n == 0) {
                if (lossByte == 0)
                    break;
                bytes[0] = static_cast<char>(lossByte);
                n = 1;
            }
            if (out) {
                if (used + n > capacity)
                    break;
                std::memcpy(out + used, bytes, n);
            }
            used += n;
            done += step;
        }
    }
    if (usedBytes)
        *usedBytes = used;
    return done;
}

size_t maxSizeForEncoding(size_t units, uint32_t encoding)
{
    switch (encoding) {
    case kEncodingUTF8:
        return units * 3;
    case kEncodingUnicode:
    case kEncodingDOSJapanese:
        return units * 2;
    default:
        return units;
    }
}

char16_t toUpperUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    UChar out[4];
    UErrorCode error = U_ZERO_ERROR;
    UChar in = c;
    int32_t n = u_strToUpper(out, 4, &in, 1, "", &error);
    return (U_SUCCESS(error) && n == 1) ? static_cast<char16_t>(out[0]) : c;
}

char16_t toLowerUnit(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    UChar out[4];
    UErrorCode error = U_ZERO_ERROR;
    UChar in = c;
    int32_t n = u_strToLower(out, 4, &in, 1, "", &error);
    return (U_SUCCESS(error) && n == 1) ? static_cast<char16_t>(out[0]) : c;
}

bool isAlpha(uint32_t c)
{
    return c < 128 ? std::isalpha(static_cast<int>(c)) != 0 : u_isalpha(static_cast<UChar32>(c));
}

bool isDigit(uint32_t c)
{
    return c < 128 ? (c >= '0' && c <= '9') : u_isdigit(static_cast<UChar32>(c));
}

bool isSpace(uint32_t c)
{
    return c < 128 ? std::isspace(static_cast<int>(c)) != 0 : u_isspace(static_cast<UChar32>(c));
}

int compareCaseInsensitive(const char16_t* a, size_t aCount, const char16_t* b, size_t bCount)
{
    UErrorCode error = U_ZERO_ERROR;
    if (aCount > INT32_MAX || bCount > INT32_MAX)
        return 0;
    int32_t r = u_strCaseCompare(reinterpret_cast<const UChar*>(a), static_cast<int32_t>(aCount),
                                 reinterpret_cast<const UChar*>(b), static_cast<int32_t>(bCount),
                                 U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER, &error);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

namespace {
const UNormalizer2* normalizer(NormalizationForm form)
{
    UErrorCode error = U_ZERO_ERROR;
    const UNormalizer2* n = nullptr;
    switch (form) {
    case kFormC:
        n = unorm2_getNFCInstance(&error);
        break;
    case kFormD:
        n = unorm2_getNFDInstance(&error);
        break;
    case kFormKC:
        n = unorm2_getNFKCInstance(&error);
        break;
    case kFormKD:
        n = unorm2_getNFKDInstance(&error);
        break;
    }
    return U_SUCCESS(error) ? n : nullptr;
}
} // namespace

bool normalize(std::u16string& text, NormalizationForm form)
try {
    const UNormalizer2* n = normalizer(form);
    if (!n || text.size() > static_cast<size_t>(INT32_MAX))
        return false;
    auto length = static_cast<int32_t>(text.size());
    UErrorCode error = U_ZERO_ERROR;
    int32_t needed = unorm2_normalize(n, reinterpret_cast<const UChar*>(text.data()), length, nullptr, 0, &error);
    if (error != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(error))
        return false;
    std::u16string result(static_cast<size_t>(needed), u'\0');
    error = U_ZERO_ERROR;
    unorm2_normalize(n, reinterpret_cast<const UChar*>(text.data()), length, reinterpret_cast<UChar*>(result.data()),
                     needed, &error);
    if (U_FAILURE(error))
        return false;
    text.swap(result);
    return true;
} catch (...) {
    return false;
}

bool isNormalized(const char16_t* text, size_t count, NormalizationForm form)
{
    const UNormalizer2* n = normalizer(form);
    if (!n || (!text && count) || count > static_cast<size_t>(INT32_MAX))
        return false;
    UErrorCode error = U_ZERO_ERROR;
    UBool r = unorm2_isNormalized(n, reinterpret_cast<const UChar*>(text), static_cast<int32_t>(count), &error);
    return U_SUCCESS(error) && r;
}

namespace {
// Units after leading white space, narrowed while they are ASCII.
std::string asciiPrefix(const char16_t* text, size_t count)
{
    size_t i = 0;
    while (i < count && isSpace(text[i]))
        ++i;
    std::string s;
    for (; i < count && text[i] != 0 && text[i] < 0x80; ++i)
        s.push_back(static_cast<char>(text[i]));
    return s;
}
} // namespace

int32_t intValue(const char16_t* text, size_t count)
{
    if (!text)
        return 0;
    std::string s = asciiPrefix(text, count);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > int64_t(INT32_MAX) + 1)
            value = int64_t(INT32_MAX) + 1; // saturate, keep reading
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

size_t readDecimal(const char* text, size_t count, double& value)
{
    if (!text || !cLocale())
        return 0;
    auto at = [&](size_t i) { return i < count ? text[i] : '\0'; };
    auto isDigitAt = [&](size_t i) { return at(i) >= '0' && at(i) <= '9'; };
    size_t i = (at(0) == '+' || at(0) == '-') ? 1 : 0;
    const size_t integerStart = i;
    while (isDigitAt(i))
        ++i;
    const size_t integerDigits = i - integerStart;
    size_t fractionDigits = 0;
    if (at(i) == '.') {
        while (isDigitAt(i + 1 + fractionDigits))
            ++fractionDigits;
        if (integerDigits + fractionDigits > 0)
            i += 1 + fractionDigits;
    }
    if (integerDigits + fractionDigits == 0)
        return 0;
    // A hexadecimal number is no decimal one, not even its leading 0.
    if (i == integerStart + 1 && at(integerStart) == '0' && (at(i) == 'x' || at(i) == 'X'))
        return 0;
    if (at(i) == 'e' || at(i) == 'E') {
        size_t e = i + 1;
        if (at(e) == '+' || at(e) == '-')
            ++e;
        if (isDigitAt(e)) {
            while (isDigitAt(e))
                ++e;
            i = e;
        }
    }
    // strtod_l sees exactly the characters checked above, so that it reads no other form.
    const std::string number(text, i);
    const double read = strtod_l(number.c_str(), nullptr, cLocale());
    if (!std::isfinite(read))
        return 0;
    value = read;
    return i;
}

double doubleValue(const char16_t* text, size_t count)
{
    if (!text)
        return 0.0;
    const std::string s = asciiPrefix(text, count);
    double value = 0.0;
    readDecimal(s.c_str(), s.size(), value);
    return value;
}

// ---- formatting ----

int formatCV(char* dest, size_t size, const char* format, va_list args)
{
    CLocaleScope scope;
    return std::vsnprintf(dest, size, format, args);
}

int formatC(char* dest, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = formatCV(dest, size, format, args);
    va_end(args);
    return n;
}

bool scanC(const char* text, const char* format, void* value)
{
    if (!text || !format)
        return false;
    CLocaleScope scope;
    return std::sscanf(text, format, value) == 1;
}

namespace {

template <class T>
bool appendC(std::u16string& out, const std::string& spec, T value)
{
    int n = formatC(nullptr, 0, spec.c_str(), value);
    if (n < 0)
        return false;
    std::string buffer(static_cast<size_t>(n) + 1, '\0');
    formatC(buffer.data(), buffer.size(), spec.c_str(), value);
    buffer.resize(static_cast<size_t>(n));
    std::u16string wide;
    if (!decode(buffer.data(), buffer.size(), kEncodingMacRoman, wide))
        return false;
    out += wide;
    return true;
}

void appendPadded(std::u16string& out, const char16_t* text, size_t count, long width, bool left)
{
    size_t pad = width > 0 && static_cast<size_t>(width) > count ? static_cast<size_t>(width) - count : 0;
    if (!left)
        out.append(pad, u' ');
    out.append(text, count);
    if (left)
        out.append(pad, u' ');
}

} // namespace

bool formatV(const char16_t* format, va_list args, std::u16string& out)
try {
    if (!format)
        return false;
    va_list ap;
    va_copy(ap, args);
    std::u16string result;
    bool ok = true;
    for (const char16_t* p = format; *p && ok; ++p) {
        if (*p != u'%') {
            result.push_back(*p);
            continue;
        }
        ++p;
        if (*p == u'%') {
            result.push_back(u'%');
            continue;
        }
        std::string spec = "%";
        bool left = false;
        while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') {
            left |= *p == u'-';
            spec.push_back(static_cast<char>(*p++));
        }
        long width = 0;
        if (*p == u'*') {
            int w = va_arg(ap, int);
            if (w < 0)
                left = true;
            width = w < 0 ? -static_cast<long>(w) : w;
            spec += std::to_string(w);
            ++p;
        } else {
            while (*p >= u'0' && *p <= u'9') {
                if (width < 100000)
                    width = width * 10 + (*p - u'0');
                spec.push_back(static_cast<char>(*p++));
            }
        }
        long precision = -1;
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                int prec = va_arg(ap, int);
                if (prec >= 0)
                    spec += '.', spec += std::to_string(prec), precision = prec;
                ++p;
            } else {
                precision = 0;
                spec.push_back('.');
                while (*p >= u'0' && *p <= u'9') {
                    if (precision < 100000)
                        precision = precision * 10 + (*p - u'0');
                    spec.push_back(static_cast<char>(*p++));
                }
            }
        }
        enum
        {
            kNone,
            kChar,
            kShort,
            kLong,
            kLongLong,
            kSize,
            kPtrDiff,
            kMax,
            kLongDouble
        } length = kNone;
        if (*p == u'h') {
            length = kShort, ++p;
            if (*p == u'h')
                length = kChar, ++p;
        } else if (*p == u'l') {
            length = kLong, ++p;
            if (*p == u'l')
                length = kLongLong, ++p;
        } else if (*p == u'q') {
            length = kLongLong, ++p;
        } else if (*p == u'L') {
            length = kLongDouble, ++p;
        } else if (*p == u'z') {
            length = kSize, ++p;
        } else if (*p == u't') {
            length = kPtrDiff, ++p;
        } else if (*p == u'j') {
            length = kMax, ++p;
        }
        char16_t conversion = *p;
        switch (conversion) {
        case u'd':
        case u'i': {
            long long v;
            switch (length) {
            case kChar:
                v = static_cast<signed char>(va_arg(ap, int));
                break;
            case kShort:
                v = static_cast<short>(va_arg(ap, int));
                break;
            case kLong:
                v = va_arg(ap, long);
                break;
            case kLongLong:
                v = va_arg(ap, long long);
                break;
            case kSize:
                v = va_arg(ap, ptrdiff_t);
                break;
            case kPtrDiff:
                v = va_arg(ap, ptrdiff_t);
                break;
            case kMax:
                v = va_arg(ap, intmax_t);
                break;
            default:
                v = va_arg(ap, int);
                break;
            }
            ok = appendC(result, spec + "lld", v);
            break;
        }
        case u'o':
        case u'u':
        case u'x':
        case u'X': {
            unsigned long long v;
            switch (length) {
            case kChar:
                v = static_cast<unsigned char>(va_arg(ap, unsigned int));
                break;
            case kShort:
                v = static_cast<unsigned short>(va_arg(ap, unsigned int));
                break;
            case kLong:
                v = va_arg(ap, unsigned long);
                break;
            case kLongLong:
                v = va_arg(ap, unsigned long long);
                break;
            case kSize:
                v = va_arg(ap, size_t);
                break;
            case kPtrDiff:
                v = static_cast<unsigned long long>(va_arg(ap, ptrdiff_t));
                break;
            case kMax:
                v = va_arg(ap, uintmax_t);
                break;
            default:
                v = va_arg(ap, unsigned int);
                break;
            }
            ok = appendC(result, spec + "ll" + static_cast<char>(conversion), v);
            break;
        }
        case u'e':
        case u'E':
        case u'f':
        case u'F':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
            if (length == kLongDouble)
                ok = appendC(result, spec + "L" + static_cast<char>(conversion), va_arg(ap, long double));
            else
                ok = appendC(result, spec + static_cast<char>(conversion), va_arg(ap, double));
            break;
        case u'c':
            ok = appendC(result, spec + "c", va_arg(ap, int));
            break;
        case u's': {
            const char* s = va_arg(ap, const char*);
            ok = appendC(result, spec + "s", s ? s : "(null)");
            break;
        }
        case u'C': {
            auto c = static_cast<char16_t>(va_arg(ap, int));
            appendPadded(result, &c, 1, width, left);
            break;
        }
        case u'S': {
            const char16_t* s = va_arg(ap, const char16_t*);
            if (!s)
                s = u"(null)";
            size_t n = 0;
            while (s[n] && (precision < 0 || n < static_cast<size_t>(precision)))
                ++n;
            appendPadded(result, s, n, width, left);
            break;
        }
        case u'p':
            ok = appendC(result, spec + "p", va_arg(ap, void*));
            break;
        case u'n':
            (void)va_arg(ap, void*); // never written through
            break;
        default:
            ok = false; // unknown or positional conversion
            break;
        }
        if (!*p)
            break;
    }
    va_end(ap);
    if (!ok)
        return false;
    out.swap(result);
    return true;
} catch (...) {
    return false;
}

// ---- string handles ----

struct StringObject : RefCounted
{
    bool isMutable = false;
    std::u16string text;
};

StringRef createString(const char16_t* units, size_t count)
try {
    std::u16string text;
    if (units)
        text.assign(units, count);
    auto* s = new StringObject;
    s->text.swap(text);
    return s;
} catch (...) {
    return nullptr;
}

StringRef createStringWithBytes(const void* bytes, size_t size, uint32_t encoding)
try {
    std::u16string text;
    if (!decode(bytes, size, encoding, text))
        return nullptr;
    auto* s = new StringObject;
    s->text.swap(text);
    return s;
} catch (...) {
    return nullptr;
}

StringRef createMutableString()
try {
    auto* s = new StringObject;
    s->isMutable = true;
    return s;
} catch (...) {
    return nullptr;
}

bool appendCharacters(StringRef string, const char16_t* units, size_t count)
try {
    if (!string || !string->isMutable || (!units && count))
        return false;
    if (units)
        string->text.append(units, count);
    return true;
} catch (...) {
    return false;
}

bool appendBytes(StringRef string, const void* bytes, size_t size, uint32_t encoding)
try {
    if (!string || !string->isMutable)
        return false;
    std::u16string text;
    if (!decode(bytes, size, encoding, text))
        return false;
    string->text += text;
    return true;
} catch (...) {
    return false;
}

bool isMutable(StringRef string)
{
    return string && string->isMutable;
}

size_t getLength(StringRef string)
{
    return string ? string->text.size() : 0;
}

const char16_t* getCharacters(StringRef string)
{
    return string ? string->text.c_str() : nullptr;
}

bool normalizeString(StringRef string, NormalizationForm form)
{
    if (!string || !string->isMutable)
        return false;
    return normalize(string->text, form);
}

StringRef retain(StringRef string)
{
    return retainObject(string);
}

void release(StringRef string)
{
    releaseObject(string);
}

int32_t retainCount(StringRef string)
{
    return string ? string->references.load() : 0;
}

} // namespace Platform
