// Editing, search, comparison and case of strings.
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "base/fstring.h"
#include "platform/strings.h"

namespace Calvereth {

namespace {

size_t strlen16(const char16* text)
{
    size_t n = 0;
    if (text)
        while (text[n])
            ++n;
    return n;
}

char16 unitOf(char8 c)
{
    return ConstString::widenChar(c);
}
char16 unitOf(char16 c)
{
    return c;
}

bool isAsciiSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isAsciiAlpha(int c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(int c)
{
    return c >= '0' && c <= '9';
}

// Upper case by the standard library's C-locale rule (letters a-z only).
int upperAscii(int c)
{
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// characters

bool ConstString::isCharSpace(char8 c)
{
    return isAsciiSpace(c);
}
bool ConstString::isCharSpace(char16 c)
{
    return c < 128 ? isAsciiSpace(c) : Platform::isSpace(c);
}
bool ConstString::isCharAlpha(char8 c)
{
    return isAsciiAlpha(c);
}
bool ConstString::isCharAlpha(char16 c)
{
    return c < 128 ? isAsciiAlpha(c) : Platform::isAlpha(c);
}
bool ConstString::isCharAlphaNum(char8 c)
{
    return isAsciiAlpha(c) || isAsciiDigit(c);
}
bool ConstString::isCharAlphaNum(char16 c)
{
    return c < 128 ? (isAsciiAlpha(c) || isAsciiDigit(c)) : (Platform::isAlpha(c) || Platform::isDigit(c));
}
bool ConstString::isCharDigit(char8 c)
{
    return isAsciiDigit(c);
}
bool ConstString::isCharDigit(char16 c)
{
    return isAsciiDigit(c);
}

bool ConstString::isCharUnicodeSpace(char16 c)
{
    return c == 0x20 || c == 0xA0 || (c >= 0x2002 && c <= 0x200B) || c == 0x202F || c == 0x205F || c == 0x3000;
}

char8 ConstString::toUpper(char8 c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char8>(c - 32) : c;
}
char8 ConstString::toLower(char8 c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char8>(c + 32) : c;
}
char16 ConstString::toUpper(char16 c)
{
    return Platform::toUpperUnit(c);
}
char16 ConstString::toLower(char16 c)
{
    return Platform::toLowerUnit(c);
}

bool ConstString::testChar(int32 index, char16 c) const
{
    if (index < 0 || index >= length() || !buffer)
        return c == 0;
    return getChar(index) == c;
}

bool ConstString::testChar(int32 index, char8 c) const
{
    if (index < 0 || index >= length() || !buffer)
        return c == 0;
    return isWideString() ? buffer16[index] == widenChar(c) : buffer8[index] == c;
}

// ---------------------------------------------------------------------------------------------
// search

int32 ConstString::findFirst(int32 start, char16 c, int32 mode, int32 end) const
{
    int32 len = length();
    if (!buffer)
        return -1;
    int32 limit = (end >= 0 && end < len) ? end + 1 : len;
    if (start < 0)
        start = 0;
    if (isWideString()) {
        char16 wanted = mode ? toLower(c) : c;
        for (int32 i = start; i < limit; ++i)
            if ((mode ? toLower(buffer16[i]) : buffer16[i]) == wanted)
                return i;
        return -1;
    }
    char8 byte = 0;
    if (!narrowChar(c, byte))
        return -1;
    return findFirst(start, byte, mode, end);
}

int32 ConstString::findFirst(int32 start, char8 c, int32 mode, int32 end) const
{
    if (isWideString())
        return findFirst(start, widenChar(c), mode, end);
    int32 len = length();
    if (!buffer8)
        return -1;
    int32 limit = (end >= 0 && end < len) ? end + 1 : len;
    if (start < 0)
        start = 0;
    char8 wanted = mode ? toLower(c) : c;
    for (int32 i = start; i < limit; ++i)
        if ((mode ? toLower(buffer8[i]) : buffer8[i]) == wanted)
            return i;
    return -1;
}

int32 ConstString::findPrev(int32 start, char16 c, int32 mode) const
{
    int32 len = length();
    if (!buffer)
        return -1;
    if (start < 0 || start > len)
        start = len;
    if (start > len - 1)
        start = len - 1;
    if (isWideString()) {
        char16 wanted = mode ? toLower(c) : c;
        for (int32 i = start; i >= 0; --i)
            if ((mode ? toLower(buffer16[i]) : buffer16[i]) == wanted)
                return i;
        return -1;
    }
    char8 byte = 0;
    if (!narrowChar(c, byte))
        return -1;
    return findPrev(start, byte, mode);
}

int32 ConstString::findPrev(int32 start, char8 c, int32 mode) const
{
    if (isWideString())
        return findPrev(start, widenChar(c), mode);
    int32 len = length();
    if (!buffer8)
        return -1;
    if (start < 0 || start > len)
        start = len;
    if (start > len - 1)
        start = len - 1;
    char8 wanted = mode ? toLower(c) : c;
    for (int32 i = start; i >= 0; --i)
        if ((mode ? toLower(buffer8[i]) : buffer8[i]) == wanted)
            return i;
    return -1;
}

namespace {
// Whether n characters of b match a at index; both widths, case folded when mode is set.
bool matchAt(const ConstString& a, int32 index, const ConstString& b, int32 n, int32 mode)
{
    bool aWide = a.isWideString(), bWide = b.isWideString();
    if (!aWide && !bWide) {
        const char8* x = static_cast<const char8*>(a.rawText()) + index;
        const char8* y = static_cast<const char8*>(b.rawText());
        for (int32 k = 0; k < n; ++k) {
            char8 p = x[k], q = y[k];
            if (mode)
                p = ConstString::toLower(p), q = ConstString::toLower(q);
            if (p != q)
                return false;
        }
        return true;
    }
    for (int32 k = 0; k < n; ++k) {
        char16 p = a.getChar(index + k), q = b.getChar(k);
        if (mode)
            p = ConstString::toLower(p), q = ConstString::toLower(q);
        if (p != q)
            return false;
    }
    return true;
}
} // namespace

int32 ConstString::findNext(int32 start, const ConstString& text, int32 n, int32 mode, int32 end) const
{
    int32 textLength = text.length();
    if (n < 0 || n > textLength)
        n = textLength;
    if (n < 1 || !buffer || !text.rawText())
        return -1;
    int32 len = length();
    int32 limit = (end >= 0 && end < len) ? end + 1 : len;
    if (start < 0)
        start = 0;
    for (int32 i = start; i < limit && static_cast<int64>(i) + n <= len; ++i)
        if (matchAt(*this, i, text, n, mode))
            return i;
    return -1;
}

int32 ConstString::findPrev(int32 start, const ConstString& text, int32 n, int32 mode) const
{
    int32 textLength = text.length();
    if (n < 0 || n > textLength)
        n = textLength;
    if (n < 1 || !buffer || !text.rawText())
        return -1;
    int32 len = length();
    if (start < 0 || start >= len)
        start = len - 1;
    if (start > len - n)
        start = len - n;
    for (int32 i = start; i >= 0; --i)
        if (matchAt(*this, i, text, n, mode))
            return i;
    return -1;
}

bool ConstString::contains(const ConstString& text, int32 mode) const
{
    return findNext(0, text, -1, mode) != -1;
}

int32 ConstString::countOccurences(char16 c, int32 start, int32 mode) const
{
    int32 count = 0;
    for (int32 i = findFirst(start, c, mode); i >= 0; i = findFirst(i + 1, c, mode))
        ++count;
    return count;
}

int32 ConstString::countOccurences(char8 c, int32 start, int32 mode) const
{
    int32 count = 0;
    for (int32 i = findFirst(start, c, mode); i >= 0; i = findFirst(i + 1, c, mode))
        ++count;
    return count;
}

bool ConstString::startsWith(const ConstString& text, int32 mode) const
{
    int32 textLength = text.length();
    if (textLength == 0 || text.isEmpty())
        return isEmpty();
    if (isEmpty() || length() < textLength)
        return false;
    return compare(text, textLength, mode) == 0;
}

bool ConstString::endsWith(const ConstString& text, int32 mode) const
{
    int32 textLength = text.length();
    if (textLength == 0 || text.isEmpty())
        return isEmpty();
    if (isEmpty() || length() < textLength)
        return false;
    ConstString tail(*this, length() - textLength);
    return tail.compare(text, textLength, mode) == 0;
}

int32 ConstString::getFirstDifferent(const ConstString& text, int32 mode) const
{
    for (int32 i = 0;; ++i) {
        char16 a = getChar(i), b = text.getChar(i);
        if (mode)
            a = toLower(a), b = toLower(b);
        if (a != b)
            return i;
        if (a == 0)
            return -1;
    }
}

int32 ConstString::compare(const ConstString& other, int32 n, int32 mode) const
{
    if (n == 0)
        return 0;
    if (other.isEmpty())
        return isEmpty() ? 0 : 1;
    if (isEmpty())
        return -1;
    bool wide = isWideString(), otherWide = other.isWideString();
    if (!wide && !otherWide) {
        if (n >= 0)
            return mode ? strncasecmp(buffer8, other.buffer8, static_cast<size_t>(n))
                        : std::strncmp(buffer8, other.buffer8, static_cast<size_t>(n));
        return mode ? strcasecmp(buffer8, other.buffer8) : std::strcmp(buffer8, other.buffer8);
    }
    if (wide != otherWide) {
        // The 8-bit side is widened through the default code page.
        if (!wide) {
            String widened(*this);
            if (!widened.toWideString(kCP_Default))
                return -1;
            return ConstString(widened.text16()).compare(other, n, mode);
        }
        String widened(other);
        if (!widened.toWideString(kCP_Default))
            return 1;
        return compare(ConstString(widened.text16()), n, mode);
    }
    const char16* a = buffer16;
    const char16* b = other.buffer16;
    if (mode) {
        size_t na = static_cast<size_t>(length()), nb = static_cast<size_t>(other.length());
        if (n >= 0) {
            if (na > static_cast<size_t>(n))
                na = static_cast<size_t>(n);
            if (nb > static_cast<size_t>(n))
                nb = static_cast<size_t>(n);
        }
        return Platform::compareCaseInsensitive(a, na, b, nb);
    }
    for (int32 i = 0; n < 0 || i < n; ++i) {
        if (a[i] == 0)
            return b[i] == 0 ? 0 : -1;
        if (b[i] == 0)
            return 1;
        if (a[i] != b[i])
            return static_cast<int32>(a[i]) - static_cast<int32>(b[i]);
    }
    return 0;
}

namespace {
template <class C>
int32 naturalCompareText(const C* a, const C* b, int32 mode)
{
    auto digit = [](C c) { return c >= '0' && c <= '9'; };
    for (;;) {
        if (*a == 0)
            return *b == 0 ? 0 : -1;
        if (*b == 0)
            return 1;
        if (digit(*a) && digit(*b)) {
            int32 zeros1 = 0, zeros2 = 0;
            while (*a == '0')
                ++zeros1, ++a;
            while (*b == '0')
                ++zeros2, ++b;
            int32 digits1 = 0, digits2 = 0;
            while (digit(a[digits1]))
                ++digits1;
            while (digit(b[digits2]))
                ++digits2;
            if (digits1 != digits2)
                return digits1 - digits2;
            for (int32 k = 0; k < digits1; ++k)
                if (a[k] != b[k])
                    return static_cast<int32>(a[k]) - static_cast<int32>(b[k]);
            if (zeros1 != zeros2)
                return zeros1 - zeros2;
            a += digits1;
            b += digits2;
            continue;
        }
        int32 ca = static_cast<int32>(*a), cb = static_cast<int32>(*b);
        if (mode)
            ca = upperAscii(ca), cb = upperAscii(cb);
        if (ca != cb)
            return ca - cb;
        ++a, ++b;
    }
}
} // namespace

int32 ConstString::naturalCompare(const ConstString& other, int32 mode) const
{
    if (!buffer)
        return other.buffer ? -1 : 0;
    if (!other.buffer)
        return 1;
    bool wide = isWideString(), otherWide = other.isWideString();
    if (!wide && !otherWide)
        return naturalCompareText(buffer8, other.buffer8, mode);
    if (wide && otherWide)
        return naturalCompareText(buffer16, other.buffer16, mode);
    String widened(wide ? other : *this);
    if (!widened.toWideString(kCP_Default))
        return wide ? 1 : -1;
    return wide ? naturalCompareText(buffer16, widened.text16(), mode)
                : naturalCompareText(widened.text16(), other.buffer16, mode);
}

// ---------------------------------------------------------------------------------------------
// String: editing

bool String::appendUnits(const void* text, int32 count, bool wide)
{
    if (count <= 0)
        return true;
    const size_t width = wide ? 2 : 1;
    if (ownsPointer(text)) {
        // Appending (part of) itself: resizing may move the source, so take a copy first.
        void* copy = std::malloc(static_cast<size_t>(count) * width);
        if (!copy)
            return false;
        std::memcpy(copy, text, static_cast<size_t>(count) * width);
        bool ok = appendUnits(copy, count, wide);
        std::free(copy);
        return ok;
    }
    int32 oldLength = length();
    int64 newLength = static_cast<int64>(oldLength) + count;
    if (newLength > kMaxLength)
        return false;
    if (!resize(static_cast<int32>(newLength), wide))
        return false;
    std::memcpy(static_cast<char*>(buffer) + static_cast<size_t>(oldLength) * width, text,
                static_cast<size_t>(count) * width);
    if (wide)
        buffer16[newLength] = 0;
    else
        buffer8[newLength] = 0;
    setLength(static_cast<int32>(newLength));
    return true;
}

String& String::append(const char16* text, int32 n)
{
    if (!text)
        return *this;
    size_t available = strlen16(text);
    size_t count = (n < 0 || static_cast<size_t>(n) > available) ? available : static_cast<size_t>(n);
    if (count == 0 || count > static_cast<size_t>(kMaxLength))
        return *this;
    if (!isWideString() && !isEmpty() && !toWideString(kCP_Default))
        return *this;
    appendUnits(text, static_cast<int32>(count), true);
    return *this;
}

String& String::append(const char8* text, int32 n)
{
    if (!text)
        return *this;
    size_t available = std::strlen(text);
    size_t count = (n < 0 || static_cast<size_t>(n) > available) ? available : static_cast<size_t>(n);
    if (count == 0 || count > static_cast<size_t>(kMaxLength))
        return *this;
    if (isWideString() && !isEmpty()) {
        String widened(text, static_cast<int32>(count));
        if (widened.toWideString(kCP_Default))
            appendUnits(widened.buffer16, widened.length(), true);
        return *this;
    }
    appendUnits(text, static_cast<int32>(count), false);
    return *this;
}

String& String::append(const ConstString& other, int32 n)
{
    if (other.isWideString())
        return append(static_cast<const char16*>(other.rawText()), n);
    return append(static_cast<const char8*>(other.rawText()), n);
}

String& String::append(char16 c, int32 n)
{
    if (n < 1 || c == 0)
        return *this;
    if (!isWideString() && !isEmpty() && !toWideString(kCP_Default))
        return *this;
    int32 oldLength = length();
    int64 newLength = static_cast<int64>(oldLength) + n;
    if (newLength > kMaxLength || !resize(static_cast<int32>(newLength), true))
        return *this;
    for (int64 i = oldLength; i < newLength; ++i)
        buffer16[i] = c;
    buffer16[newLength] = 0;
    setLength(static_cast<int32>(newLength));
    return *this;
}

String& String::append(char8 c, int32 n)
{
    if (n < 1 || c == 0)
        return *this;
    if (isWideString() && !isEmpty())
        return append(widenChar(c), n);
    int32 oldLength = length();
    int64 newLength = static_cast<int64>(oldLength) + n;
    if (newLength > kMaxLength || !resize(static_cast<int32>(newLength), false))
        return *this;
    std::memset(buffer8 + oldLength, c, static_cast<size_t>(n));
    buffer8[newLength] = 0;
    setLength(static_cast<int32>(newLength));
    return *this;
}

bool String::insertUnits(int32 index, const void* text, int32 count, bool wide)
{
    if (count <= 0)
        return true;
    const size_t width = wide ? 2 : 1;
    if (ownsPointer(text)) {
        void* copy = std::malloc(static_cast<size_t>(count) * width);
        if (!copy)
            return false;
        std::memcpy(copy, text, static_cast<size_t>(count) * width);
        bool ok = insertUnits(index, copy, count, wide);
        std::free(copy);
        return ok;
    }
    int32 oldLength = length();
    int64 newLength = static_cast<int64>(oldLength) + count;
    if (newLength > kMaxLength || !resize(static_cast<int32>(newLength), wide))
        return false;
    char* base = static_cast<char*>(buffer);
    std::memmove(base + (static_cast<size_t>(index) + count) * width, base + static_cast<size_t>(index) * width,
                 static_cast<size_t>(oldLength - index) * width);
    std::memcpy(base + static_cast<size_t>(index) * width, text, static_cast<size_t>(count) * width);
    if (wide)
        buffer16[newLength] = 0;
    else
        buffer8[newLength] = 0;
    setLength(static_cast<int32>(newLength));
    return true;
}

String& String::insertAt(int32 index, const char16* text, int32 n)
{
    if (index < 0 || index > length() || !text)
        return *this;
    size_t available = strlen16(text);
    size_t count = (n < 0 || static_cast<size_t>(n) > available) ? available : static_cast<size_t>(n);
    if (count < 1 || count > static_cast<size_t>(kMaxLength))
        return *this;
    if (!isWideString() && !isEmpty() && !toWideString(kCP_Default))
        return *this;
    insertUnits(index, text, static_cast<int32>(count), true);
    return *this;
}

String& String::insertAt(int32 index, const char8* text, int32 n)
{
    if (index < 0 || index > length() || !text)
        return *this;
    size_t available = std::strlen(text);
    size_t count = (n < 0 || static_cast<size_t>(n) > available) ? available : static_cast<size_t>(n);
    if (count < 1 || count > static_cast<size_t>(kMaxLength))
        return *this;
    if (isWideString()) {
        String widened(text, static_cast<int32>(count));
        if (widened.toWideString(kCP_Default))
            insertUnits(index, widened.buffer16, widened.length(), true);
        return *this;
    }
    insertUnits(index, text, static_cast<int32>(count), false);
    return *this;
}

String& String::insertAt(int32 index, const ConstString& other, int32 n)
{
    if (other.isWideString())
        return insertAt(index, static_cast<const char16*>(other.rawText()), n);
    return insertAt(index, static_cast<const char8*>(other.rawText()), n);
}

bool String::replaceUnits(int32 index, int32 count, const void* text, int32 textCount, bool wide)
{
    const size_t width = wide ? 2 : 1;
    if (textCount > 0 && ownsPointer(text)) {
        void* copy = std::malloc(static_cast<size_t>(textCount) * width);
        if (!copy)
            return false;
        std::memcpy(copy, text, static_cast<size_t>(textCount) * width);
        bool ok = replaceUnits(index, count, copy, textCount, wide);
        std::free(copy);
        return ok;
    }
    int32 oldLength = length();
    int64 newLength = static_cast<int64>(oldLength) - count + textCount;
    if (newLength > kMaxLength)
        return false;
    size_t tail = static_cast<size_t>(oldLength - index - count) * width;
    if (textCount > count) {
        if (!resize(static_cast<int32>(newLength), wide))
            return false;
        char* base = static_cast<char*>(buffer);
        std::memmove(base + (static_cast<size_t>(index) + textCount) * width,
                     base + (static_cast<size_t>(index) + count) * width, tail);
    } else if (textCount < count) {
        char* base = static_cast<char*>(buffer);
        std::memmove(base + (static_cast<size_t>(index) + textCount) * width,
                     base + (static_cast<size_t>(index) + count) * width, tail);
        if (newLength == 0)
            return resize(0, wide);
        resize(static_cast<int32>(newLength), wide); // shrinking keeps the text even on failure
    }
    if (newLength == 0)
        return resize(0, wide);
    if (textCount > 0)
        std::memcpy(static_cast<char*>(buffer) + static_cast<size_t>(index) * width, text,
                    static_cast<size_t>(textCount) * width);
    if (wide)
        buffer16[newLength] = 0;
    else
        buffer8[newLength] = 0;
    setLength(static_cast<int32>(newLength));
    return true;
}

String& String::replace(int32 index, int32 count, const char16* text, int32 n)
{
    int32 len = length();
    if (index < 0 || index > len || !text || count == 0)
        return *this;
    if (count < 0 || static_cast<int64>(index) + count > len)
        count = len - index;
    if (count == 0)
        return *this;
    size_t available = strlen16(text);
    size_t textCount = (n < 0 || static_cast<size_t>(n) > available) ? available : static_cast<size_t>(n);
    if (textCount > static_cast<size_t>(kMaxLength))
        return *this;
    if (!isWideString()) {
        // Keep the text safe from the conversion, which frees the old buffer.
        std::u16string copy(text, textCount);
        if (!toWideString(kCP_Default))
            return *this;
        replaceUnits(index, count, copy.data(), static_cast<int32>(textCount), true);
        return *this;
    }
    replaceUnits(index, count, text, static_cast<int32>(textCount), true);
    return *this;
}

String& String::replace(int32 index, int32 count, const char8* text, int32 n)
{
    int32 len = length();
    if (index < 0 || index > len || !text || count == 0)
        return *this;
    if (count < 0 || static_cast<int64>(index) + count > len)
        count = len - index;
    if (count == 0)
        return *this;
    size_t available = std::strlen(text);
    size_t textCount = (n < 0 || static_cast<size_t>(n) > available) ? available : static_cast<size_t>(n);
    if (textCount > static_cast<size_t>(kMaxLength))
        return *this;
    if (isWideString()) {
        String widened(text, static_cast<int32>(textCount));
        if (textCount > 0 && !widened.toWideString(kCP_Default))
            return *this;
        replaceUnits(index, count, textCount ? widened.buffer16 : nullptr, widened.length(), true);
        return *this;
    }
    replaceUnits(index, count, text, static_cast<int32>(textCount), false);
    return *this;
}

String& String::replace(int32 index, int32 count, const ConstString& other, int32 n)
{
    if (other.isWideString())
        return replace(index, count, static_cast<const char16*>(other.rawText()), n);
    return replace(index, count, static_cast<const char8*>(other.rawText()), n);
}

int32 String::replace(const char16* toReplace, const char16* replacement, bool all)
{
    if (!toReplace || !replacement)
        return 0;
    // Own copies: either text may point into this string.
    std::u16string find(toReplace), with(replacement);
    if (find.empty())
        return 0;
    int32 replaced = 0;
    int32 start = 0;
    for (;;) {
        int32 index = findNext(start, ConstString(find.c_str()), -1, kCaseSensitive);
        if (index < 0)
            break;
        replace(index, static_cast<int32>(find.size()), with.c_str(), -1);
        ++replaced;
        if (!all)
            break;
        start = index + static_cast<int32>(with.size());
    }
    return replaced;
}

String& String::remove(int32 index, int32 n)
{
    int32 len = length();
    if (!buffer || len == 0 || index < 0 || index >= len || n == 0)
        return *this;
    if (n < 0 || static_cast<int64>(index) + n > len)
        n = len - index;
    const size_t width = isWideString() ? 2 : 1;
    char* base = static_cast<char*>(buffer);
    std::memmove(base + static_cast<size_t>(index) * width, base + (static_cast<size_t>(index) + n) * width,
                 static_cast<size_t>(len - index - n) * width);
    int32 newLength = len - n;
    if (isWideString())
        buffer16[newLength] = 0;
    else
        buffer8[newLength] = 0;
    resize(newLength, isWideString());
    updateLength();
    return *this;
}

String& String::removeSubString(const ConstString& text, int32 mode)
{
    String what(text); // the text may be a view of this string
    if (what.isEmpty())
        return *this;
    for (;;) {
        int32 index = findNext(0, what, -1, mode);
        if (index < 0)
            break;
        remove(index, what.length());
    }
    return *this;
}

template <class Pred>
bool String::removeIf(Pred shouldRemove)
{
    if (!buffer)
        return false;
    int32 len = length(), kept = 0;
    bool wide = isWideString();
    for (int32 i = 0; i < len; ++i) {
        if (wide) {
            if (!shouldRemove(buffer16[i]))
                buffer16[kept++] = buffer16[i];
        } else {
            if (!shouldRemove(buffer8[i]))
                buffer8[kept++] = buffer8[i];
        }
    }
    if (kept == len)
        return false;
    if (wide)
        buffer16[kept] = 0;
    else
        buffer8[kept] = 0;
    resize(kept, wide);
    setLength(kept);
    return true;
}

String& String::removeChars(CharGroup group)
{
    switch (group) {
    case kSpace:
        removeIf([](auto c) { return isCharSpace(c); });
        break;
    case kNotAlphaNum:
        removeIf([](auto c) { return !isCharAlphaNum(c); });
        break;
    case kNotAlpha:
        removeIf([](auto c) { return !isCharAlpha(c); });
        break;
    }
    return *this;
}

bool String::removeChars(const char8* set)
{
    if (!set)
        return false;
    std::u16string wideSet;
    for (const char8* p = set; *p; ++p)
        wideSet.push_back(widenChar(*p));
    return removeIf([&](auto c) { return wideSet.find(unitOf(c)) != std::u16string::npos; });
}

bool String::removeChars(const char16* set)
{
    if (!set)
        return false;
    std::u16string wideSet(set);
    return removeIf([&](auto c) { return wideSet.find(unitOf(c)) != std::u16string::npos; });
}

bool String::replaceChars(const char8* set, char8 replacement)
{
    if (!set)
        return false;
    if (isWideString()) {
        std::u16string wideSet;
        for (const char8* p = set; *p; ++p)
            wideSet.push_back(widenChar(*p));
        return replaceChars(wideSet.c_str(), replacement == 0 ? char16(0x20) : widenChar(replacement));
    }
    if (replacement == 0)
        replacement = 0x20;
    bool replaced = false;
    int32 len = length();
    for (int32 i = 0; buffer8 && i < len; ++i) {
        if (buffer8[i] != 0 && std::strchr(set, buffer8[i])) {
            buffer8[i] = replacement;
            replaced = true;
        }
    }
    return replaced;
}

bool String::replaceChars(const char16* set, char16 replacement)
{
    if (!set)
        return false;
    if (replacement == 0)
        replacement = 0x20;
    std::u16string wideSet(set);
    if (!isWideString()) {
        char8 byte = 0;
        if (!narrowChar(replacement, byte)) {
            // The replacement has no byte in the default code page: continue in 16-bit.
            if (!toWideString(kCP_Default))
                return false;
            return replaceChars(wideSet.c_str(), replacement);
        }
        bool replaced = false;
        int32 len = length();
        for (int32 i = 0; buffer8 && i < len; ++i)
            if (wideSet.find(widenChar(buffer8[i])) != std::u16string::npos)
                buffer8[i] = byte, replaced = true;
        return replaced;
    }
    bool replaced = false;
    int32 len = length();
    for (int32 i = 0; buffer16 && i < len; ++i)
        if (wideSet.find(buffer16[i]) != std::u16string::npos)
            buffer16[i] = replacement, replaced = true;
    return replaced;
}

bool String::trim(CharGroup group)
{
    if (!buffer || length() == 0 || group < kSpace || group > kNotAlpha)
        return false;
    auto removable = [group](auto c) {
        switch (group) {
        case kSpace:
            return isCharSpace(c);
        case kNotAlphaNum:
            return !isCharAlphaNum(c);
        default:
            return !isCharAlpha(c);
        }
    };
    bool wide = isWideString();
    int32 len = length();
    auto at = [&](int32 i) -> bool { return wide ? removable(buffer16[i]) : removable(buffer8[i]); };
    int32 lead = 0;
    while (lead < len && at(lead))
        ++lead;
    if (lead == len) {
        resize(0, wide);
        return true;
    }
    int32 trail = 0;
    while (trail < len - lead && at(len - 1 - trail))
        ++trail;
    int32 newLength = len - lead - trail;
    if (newLength == len)
        return false;
    const size_t width = wide ? 2 : 1;
    char* base = static_cast<char*>(buffer);
    std::memmove(base, base + static_cast<size_t>(lead) * width, static_cast<size_t>(newLength) * width);
    if (wide)
        buffer16[newLength] = 0;
    else
        buffer8[newLength] = 0;
    resize(newLength, wide);
    setLength(newLength);
    return true;
}

void String::toUpper()
{
    int32 len = length();
    for (int32 i = 0; buffer && i < len; ++i)
        toUpper(i);
}

void String::toLower()
{
    int32 len = length();
    for (int32 i = 0; buffer && i < len; ++i)
        toLower(i);
}

void String::toUpper(int32 index)
{
    if (!buffer || index < 0 || index >= length())
        return;
    if (isWideString())
        buffer16[index] = ConstString::toUpper(buffer16[index]);
    else
        buffer8[index] = ConstString::toUpper(buffer8[index]);
}

void String::toLower(int32 index)
{
    if (!buffer || index < 0 || index >= length())
        return;
    if (isWideString())
        buffer16[index] = ConstString::toLower(buffer16[index]);
    else
        buffer8[index] = ConstString::toLower(buffer8[index]);
}

} // namespace Calvereth
