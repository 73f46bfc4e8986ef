// Formatting into strings and reading numbers out of them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/fstring.h"
#include "platform/strings.h"

namespace Calvereth {

namespace {

constexpr int32 kPrintfBufferSize = 4096;

// A string conversion of a 16-bit format takes a 16-bit text: exactly "%s" becomes "%S". A "%s"
// with flags, width or precision stays an 8-bit conversion, and "%%" is a literal percent sign.
std::u16string wideStringConversions(const char16* format)
{
    std::u16string out;
    for (const char16* p = format; *p;) {
        if (p[0] == u'%' && p[1] == u'%') {
            out.append(p, 2);
            p += 2;
        } else if (p[0] == u'%' && p[1] == u's') {
            out.append(u"%S");
            p += 2;
        } else {
            out.push_back(*p++);
        }
    }
    return out;
}

bool isDigit8(char8 c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit8(char8 c)
{
    return isDigit8(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isSpace8(char8 c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

enum class Number
{
    kInteger,
    kHex,
    kDecimal
};

// True when a number of the kind starts right at p: an optional sign, then a digit (or a point
// and a digit for a decimal number).
bool startsNumber(const char8* p, Number kind)
{
    if (*p == '+' || *p == '-')
        ++p;
    switch (kind) {
    case Number::kHex:
        return isHexDigit8(*p);
    case Number::kDecimal:
        return isDigit8(*p) || (*p == '.' && isDigit8(p[1]));
    default:
        return isDigit8(*p);
    }
}

// Where the number to read starts, or null. Without scanToEnd only white space may precede it;
// with it, the first position from which a number reads (white space before a number reads the
// same number). One pass over the text.
const char8* numberStart(const char8* text, Number kind, bool scanToEnd)
{
    if (!text)
        return nullptr;
    if (!scanToEnd) {
        while (isSpace8(*text))
            ++text;
        return startsNumber(text, kind) ? text : nullptr;
    }
    for (; *text; ++text)
        if (startsNumber(text, kind))
            return text;
    return nullptr;
}

// Reads one number with a C format into a Read and stores it as the caller's type (its low bits
// where that is narrower).
template <class Read, class Stored>
bool scanNumber(const char8* text, const char8* format, Stored& value, bool scanToEnd, Number kind)
{
    const char8* start = numberStart(text, kind, scanToEnd);
    Read read{};
    if (!start || !Platform::scanC(start, format, &read))
        return false;
    value = static_cast<Stored>(read);
    return true;
}

// A 16-bit text is read by the 8-bit scanner from its copy in the default code page.
template <class T>
bool scanNarrowed(const char16* text, bool (*scan8)(const char8*, T&, bool), T& value, bool scanToEnd)
{
    if (!text || !*text)
        return false;
    String copy(text);
    return copy.toMultiByte(kCP_Default) && scan8(copy.text8(), value, scanToEnd);
}

bool isNumberDigit(const ConstString& s, int32 i)
{
    char16 c = s.getChar(i);
    if (!s.isWideString())
        c = static_cast<uint8>(s.getChar8(i));
    return c >= '0' && c <= '9';
}

// Index of the first digit of the trailing run of decimal digits, or -1.
int32 trailingDigitsStart(const ConstString& s)
{
    int32 len = s.length();
    if (!s.rawText() || len == 0)
        return -1;
    int32 i = len;
    while (i > 0 && isNumberDigit(s, i - 1))
        --i;
    return i == len ? -1 : i;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// formatting

String& String::printf(const char8* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    return *this;
}

String& String::printf(const char16* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    return *this;
}

String& String::vprintf(const char8* format, va_list args)
{
    if (!format)
        return *this;
    char8 text[kPrintfBufferSize];
    text[0] = 0;
    if (Platform::formatCV(text, sizeof text, format, args) < 0)
        text[0] = 0;
    return assign(text);
}

String& String::vprintf(const char16* format, va_list args)
{
    if (!format)
        return *this;
    char16 text[kPrintfBufferSize];
    if (vsnwprintf(text, kPrintfBufferSize, format, args) < 0)
        return *this;
    return assign(text);
}

int32 String::snwprintf(char16* dest, int32 size, const char16* format, ...)
{
    va_list args;
    va_start(args, format);
    int32 n = vsnwprintf(dest, size, format, args);
    va_end(args);
    return n;
}

int32 String::vsnwprintf(char16* dest, int32 size, const char16* format, va_list args)
{
    if (!format)
        return -1;
    std::u16string text;
    if (!Platform::formatV(wideStringConversions(format).c_str(), args, text))
        return -1;
    if (!dest || size == 0)
        return 0;
    // Without a size there is no telling how much the destination holds: nothing is written.
    if (size < 0)
        return -1;
    size_t n = text.size();
    if (n > static_cast<size_t>(size) - 1)
        n = static_cast<size_t>(size) - 1;
    if (n > static_cast<size_t>(kMaxLength))
        n = static_cast<size_t>(kMaxLength);
    std::memcpy(dest, text.data(), n * sizeof(char16));
    dest[n] = 0;
    return static_cast<int32>(n);
}

String& String::printInt64(int64 value)
{
    if (isWideString())
        return printf(u"%lld", static_cast<long long>(value));
    return printf("%lld", static_cast<long long>(value));
}

String& String::printFloat(double value)
{
    bool wide = isWideString();
    String text;
    if (wide)
        text.printf(u"%lf", value);
    else
        text.printf("%lf", value);
    // Six decimals, less the trailing zeros, keeping one digit after the point.
    int32 point = text.findPrev(-1, '.');
    if (point >= 0) {
        int32 end = text.length();
        while (end > point + 2 && text.getChar(end - 1) == '0')
            --end;
        text.remove(end, -1);
    }
    if (wide && !text.isWideString())
        text.toWideString(kCP_Default);
    if (!wide && text.isWideString())
        text.toMultiByte(kCP_Default);
    return take(text);
}

// ---------------------------------------------------------------------------------------------
// scanning

// Each integer scanner in its three forms: the 8-bit one reads a C format into Read, the 16-bit
// one reads its 8-bit copy, and the member form reads the string's text from index.
#define SCAN_FORMS(Name, Type, Read, format, kind)                                                                     \
    bool ConstString::Name##_8(const char8* text, Type& value, bool scanToEnd)                                         \
    {                                                                                                                  \
        return scanNumber<Read>(text, format, value, scanToEnd, kind);                                                 \
    }                                                                                                                  \
    bool ConstString::Name##_16(const char16* text, Type& value, bool scanToEnd)                                       \
    {                                                                                                                  \
        return scanNarrowed(text, Name##_8, value, scanToEnd);                                                         \
    }                                                                                                                  \
    bool ConstString::Name(Type& value, int32 index, bool scanToEnd) const                                             \
    {                                                                                                                  \
        if (isEmpty() || index < 0 || index >= length())                                                               \
            return false;                                                                                              \
        if (isWideString())                                                                                            \
            return Name##_16(buffer16 + index, value, scanToEnd);                                                      \
        return Name##_8(buffer8 + index, value, scanToEnd);                                                            \
    }

SCAN_FORMS(scanInt64, int64, long long, "%lld", Number::kInteger)
SCAN_FORMS(scanUInt64, uint64, unsigned long long, "%llu", Number::kInteger)
SCAN_FORMS(scanInt32, int32, long long, "%lld", Number::kInteger)
SCAN_FORMS(scanUInt32, uint32, unsigned long long, "%llu", Number::kInteger)
SCAN_FORMS(scanHex, uint8, unsigned int, "%x", Number::kHex)

#undef SCAN_FORMS

bool ConstString::scanFloat_8(const char8* text, double& value, bool scanToEnd)
{
    const char8* start = numberStart(text, Number::kDecimal, scanToEnd);
    return start && Platform::readDecimal(start, SIZE_MAX, value) > 0;
}

bool ConstString::scanFloat_16(const char16* text, double& value, bool scanToEnd)
{
    return scanNarrowed(text, scanFloat_8, value, scanToEnd);
}

bool ConstString::scanFloat(double& value, int32 index, bool scanToEnd) const
{
    if (isEmpty() || index < 0 || index >= length())
        return false;
    String copy(*this);
    // A decimal comma reads as a point (the first one from index only).
    int32 comma = copy.findFirst(index, ',');
    if (comma >= 0)
        copy.setChar(comma, '.');
    if (!copy.toMultiByte(kCP_Default))
        return false;
    return scanFloat_8(copy.text8() + index, value, scanToEnd);
}

int64 ConstString::getTrailingNumber(int64 fallback) const
{
    int32 start = trailingDigitsStart(*this);
    if (start < 0)
        return fallback;
    int64 value = 0;
    return scanInt64(value, start, true) ? value : fallback;
}

bool String::incrementTrailingNumber(uint32 width, char16 separator, uint32 minNumber, bool applyOnlyFormat)
{
    if (width > 32)
        return false;
    uint32 number = 1;
    int32 start = trailingDigitsStart(*this);
    if (start >= 0) {
        int64 value = 0;
        if (scanInt64(value, start, true))
            number = static_cast<uint32>(value);
        if (!applyOnlyFormat)
            ++number;
        remove(start, -1);
        if (separator != 0 && start > 0) {
            bool isSeparator;
            if (isWideString()) {
                isSeparator = getChar16(start - 1) == separator;
            } else {
                char8 byte = 0;
                isSeparator = narrowChar(separator, byte) && getChar8(start - 1) == byte;
            }
            if (isSeparator)
                remove(start - 1, 1);
        }
    }
    if (minNumber > number)
        number = minNumber;
    bool withSeparator = separator != 0 && !isEmpty();
    char8 separatorByte = 0;
    if (withSeparator && !isWideString() && !narrowChar(separator, separatorByte) && !toWideString(kCP_Default))
        return false;
    if (isWideString()) {
        char16 format[16];
        String::snwprintf(format, 16, withSeparator ? u"%%C%%0%uu" : u"%%0%uu", width);
        char16 text[64];
        if (withSeparator)
            String::snwprintf(text, 64, format, static_cast<int>(separator), number);
        else
            String::snwprintf(text, 64, format, number);
        append(text);
    } else {
        char8 format[16], text[64];
        Platform::formatC(format, sizeof format, withSeparator ? "%%c%%0%uu" : "%%0%uu", width);
        if (withSeparator)
            Platform::formatC(text, sizeof text, format, separatorByte, number);
        else
            Platform::formatC(text, sizeof text, format, number);
        append(text);
    }
    return true;
}

} // namespace Calvereth
