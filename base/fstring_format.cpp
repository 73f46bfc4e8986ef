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

template <class T>
bool scanText8(const char8* text, const char8* format, T& value, bool scanToEnd, Number kind)
{
    const char8* start = numberStart(text, kind, scanToEnd);
    T read{};
    if (!start || !Platform::scanC(start, format, &read))
        return false;
    value = read;
    return true;
}

template <class T>
bool scanText16(const char16* text, const char8* format, T& value, bool scanToEnd, Number kind)
{
    if (!text || !*text)
        return false;
    String copy(text);
    if (!copy.toMultiByte(kCP_Default))
        return false;
    return scanText8(copy.text8(), format, value, scanToEnd, kind);
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

bool ConstString::scanInt64_8(const char8* text, int64& value, bool scanToEnd)
{
    long long v = 0;
    if (!scanText8(text, "%lld", v, scanToEnd, Number::kInteger))
        return false;
    value = v;
    return true;
}

bool ConstString::scanInt64_16(const char16* text, int64& value, bool scanToEnd)
{
    long long v = 0;
    if (!scanText16(text, "%lld", v, scanToEnd, Number::kInteger))
        return false;
    value = v;
    return true;
}

bool ConstString::scanUInt64_8(const char8* text, uint64& value, bool scanToEnd)
{
    unsigned long long v = 0;
    if (!scanText8(text, "%llu", v, scanToEnd, Number::kInteger))
        return false;
    value = v;
    return true;
}

bool ConstString::scanUInt64_16(const char16* text, uint64& value, bool scanToEnd)
{
    unsigned long long v = 0;
    if (!scanText16(text, "%llu", v, scanToEnd, Number::kInteger))
        return false;
    value = v;
    return true;
}

bool ConstString::scanInt32_8(const char8* text, int32& value, bool scanToEnd)
{
    int64 v = 0;
    if (!scanInt64_8(text, v, scanToEnd))
        return false;
    value = static_cast<int32>(static_cast<uint32>(static_cast<uint64>(v)));
    return true;
}

bool ConstString::scanInt32_16(const char16* text, int32& value, bool scanToEnd)
{
    int64 v = 0;
    if (!scanInt64_16(text, v, scanToEnd))
        return false;
    value = static_cast<int32>(static_cast<uint32>(static_cast<uint64>(v)));
    return true;
}

bool ConstString::scanUInt32_8(const char8* text, uint32& value, bool scanToEnd)
{
    uint64 v = 0;
    if (!scanUInt64_8(text, v, scanToEnd))
        return false;
    value = static_cast<uint32>(v);
    return true;
}

bool ConstString::scanUInt32_16(const char16* text, uint32& value, bool scanToEnd)
{
    uint64 v = 0;
    if (!scanUInt64_16(text, v, scanToEnd))
        return false;
    value = static_cast<uint32>(v);
    return true;
}

bool ConstString::scanHex_8(const char8* text, uint8& value, bool scanToEnd)
{
    unsigned int v = 0;
    if (!scanText8(text, "%x", v, scanToEnd, Number::kHex))
        return false;
    value = static_cast<uint8>(v);
    return true;
}

bool ConstString::scanHex_16(const char16* text, uint8& value, bool scanToEnd)
{
    unsigned int v = 0;
    if (!scanText16(text, "%x", v, scanToEnd, Number::kHex))
        return false;
    value = static_cast<uint8>(v);
    return true;
}

#define SCAN_MEMBER(Name, Type)                                                                                        \
    bool ConstString::Name(Type& value, int32 index, bool scanToEnd) const                                             \
    {                                                                                                                  \
        if (isEmpty() || index < 0 || index >= length())                                                               \
            return false;                                                                                              \
        if (isWideString())                                                                                            \
            return Name##_16(buffer16 + index, value, scanToEnd);                                                      \
        return Name##_8(buffer8 + index, value, scanToEnd);                                                            \
    }

SCAN_MEMBER(scanInt64, int64)
SCAN_MEMBER(scanUInt64, uint64)
SCAN_MEMBER(scanInt32, int32)
SCAN_MEMBER(scanUInt32, uint32)
SCAN_MEMBER(scanHex, uint8)

#undef SCAN_MEMBER

bool ConstString::scanFloat_8(const char8* text, double& value, bool scanToEnd)
{
    const char8* start = numberStart(text, Number::kDecimal, scanToEnd);
    return start && Platform::readDecimal(start, SIZE_MAX, value) > 0;
}

bool ConstString::scanFloat_16(const char16* text, double& value, bool scanToEnd)
{
    if (!text || !*text)
        return false;
    String copy(text);
    return copy.toMultiByte(kCP_Default) && scanFloat_8(copy.text8(), value, scanToEnd);
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
