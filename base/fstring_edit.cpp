// Editing, search, comparison and case of strings.
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <strings.h>

#include "base/fstring.h"
#include "platform/strings.h"

namespace Calvereth {

namespace {

template <class Char>
constexpr bool kWide = sizeof(Char) == sizeof(char16);

// How many of a text's units an edit takes: n, or all when n < 0 or n exceeds them.
size_t unitsTaken(int32 n, size_t available)
{
    return (n < 0 || static_cast<size_t>(n) > available) ? available : static_cast<size_t>(n);
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

namespace {
// Searches forward end before limit: after end when end is an index of the text, else at its end.
int32 forwardLimit(int32 end, int32 len)
{
    return (end >= 0 && end < len) ? end + 1 : len;
}

// Searches backward start at start, or at the last index when start lies outside the text.
int32 backwardStart(int32 start, int32 len)
{
    return (start < 0 || start > len - 1) ? len - 1 : start;
}

// The first index in start .. limit - 1 (start < 0 counting from 0) and the last in start .. 0
// whose unit equals c, case folded when mode is set; -1 when none does.
template <class Char>
int32 findUnitForward(const Char* text, int32 start, int32 limit, Char c, int32 mode)
{
    const Char wanted = mode ? ConstString::toLower(c) : c;
    for (int32 i = start < 0 ? 0 : start; i < limit; ++i)
        if ((mode ? ConstString::toLower(text[i]) : text[i]) == wanted)
            return i;
    return -1;
}

template <class Char>
int32 findUnitBackward(const Char* text, int32 start, Char c, int32 mode)
{
    const Char wanted = mode ? ConstString::toLower(c) : c;
    for (int32 i = start; i >= 0; --i)
        if ((mode ? ConstString::toLower(text[i]) : text[i]) == wanted)
            return i;
    return -1;
}
} // namespace

int32 ConstString::findFirst(int32 start, char16 c, int32 mode, int32 end) const
{
    if (!buffer)
        return -1;
    if (isWideString())
        return findUnitForward(buffer16, start, forwardLimit(end, length()), c, mode);
    char8 byte = 0;
    return narrowChar(c, byte) ? findFirst(start, byte, mode, end) : -1;
}

int32 ConstString::findFirst(int32 start, char8 c, int32 mode, int32 end) const
{
    if (isWideString())
        return findFirst(start, widenChar(c), mode, end);
    if (!buffer8)
        return -1;
    return findUnitForward(buffer8, start, forwardLimit(end, length()), c, mode);
}

int32 ConstString::findPrev(int32 start, char16 c, int32 mode) const
{
    if (!buffer)
        return -1;
    if (isWideString())
        return findUnitBackward(buffer16, backwardStart(start, length()), c, mode);
    char8 byte = 0;
    return narrowChar(c, byte) ? findPrev(start, byte, mode) : -1;
}

int32 ConstString::findPrev(int32 start, char8 c, int32 mode) const
{
    if (isWideString())
        return findPrev(start, widenChar(c), mode);
    if (!buffer8)
        return -1;
    return findUnitBackward(buffer8, backwardStart(start, length()), c, mode);
}

namespace {
// Whether the n units read by a and b are equal, case folded when mode is set.
template <class ReadA, class ReadB>
bool unitsMatch(int32 n, int32 mode, ReadA a, ReadB b)
{
    for (int32 k = 0; k < n; ++k) {
        auto p = a(k), q = b(k);
        if (mode)
            p = ConstString::toLower(p), q = ConstString::toLower(q);
        if (p != q)
            return false;
    }
    return true;
}

// Whether n characters of b match a at index; 8-bit texts as bytes, any other pair as 16-bit
// characters.
bool matchAt(const ConstString& a, int32 index, const ConstString& b, int32 n, int32 mode)
{
    if (!a.isWideString() && !b.isWideString()) {
        const char8* x = static_cast<const char8*>(a.rawText()) + index;
        const char8* y = static_cast<const char8*>(b.rawText());
        return unitsMatch(
            n, mode, [x](int32 k) { return x[k]; }, [y](int32 k) { return y[k]; });
    }
    return unitsMatch(
        n, mode, [&](int32 k) { return a.getChar(index + k); }, [&](int32 k) { return b.getChar(k); });
}
} // namespace

namespace {
// How many of the text's characters a search matches: n, or all when n < 0 or n exceeds them;
// 0 when there is nothing to search for or in.
int32 searchedLength(const ConstString& in, const ConstString& text, int32 n)
{
    const int32 available = text.length();
    if (n < 0 || n > available)
        n = available;
    return (n < 1 || !in.rawText() || !text.rawText()) ? 0 : n;
}
} // namespace

int32 ConstString::findNext(int32 start, const ConstString& text, int32 n, int32 mode, int32 end) const
{
    n = searchedLength(*this, text, n);
    if (n == 0)
        return -1;
    const int32 len = length(), limit = forwardLimit(end, len);
    for (int32 i = start < 0 ? 0 : start; i < limit && static_cast<int64>(i) + n <= len; ++i)
        if (matchAt(*this, i, text, n, mode))
            return i;
    return -1;
}

int32 ConstString::findPrev(int32 start, const ConstString& text, int32 n, int32 mode) const
{
    n = searchedLength(*this, text, n);
    if (n == 0)
        return -1;
    const int32 len = length();
    int32 i = backwardStart(start, len);
    if (i > len - n)
        i = len - n;
    for (; i >= 0; --i)
        if (matchAt(*this, i, text, n, mode))
            return i;
    return -1;
}

bool ConstString::contains(const ConstString& text, int32 mode) const
{
    return findNext(0, text, -1, mode) != -1;
}

namespace {
template <class Char>
int32 occurrences(const ConstString& s, Char c, int32 start, int32 mode)
{
    int32 count = 0;
    for (int32 i = s.findFirst(start, c, mode); i >= 0; i = s.findFirst(i + 1, c, mode))
        ++count;
    return count;
}

// Whether the whole text stands at the start (or the end) of s, compared as compare does; an
// empty text only in an empty string.
bool standsAtEdge(const ConstString& s, const ConstString& text, int32 mode, bool atEnd)
{
    const int32 n = text.length();
    if (n == 0 || text.isEmpty())
        return s.isEmpty();
    if (s.isEmpty() || s.length() < n)
        return false;
    return ConstString(s, atEnd ? s.length() - n : 0).compare(text, n, mode) == 0;
}
} // namespace

int32 ConstString::countOccurences(char16 c, int32 start, int32 mode) const
{
    return occurrences(*this, c, start, mode);
}

int32 ConstString::countOccurences(char8 c, int32 start, int32 mode) const
{
    return occurrences(*this, c, start, mode);
}

bool ConstString::startsWith(const ConstString& text, int32 mode) const
{
    return standsAtEdge(*this, text, mode, false);
}

bool ConstString::endsWith(const ConstString& text, int32 mode) const
{
    return standsAtEdge(*this, text, mode, true);
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

namespace {
// Two strings of different widths compared as 16-bit texts: the 8-bit side is widened through
// the default code page (when that fails, it counts as the smaller).
template <class Compare>
int32 compareWidened(const ConstString& a, const ConstString& b, Compare compare)
{
    const bool aWide = a.isWideString();
    String widened(aWide ? b : a);
    if (!widened.toWideString(kCP_Default))
        return aWide ? 1 : -1;
    const ConstString wide(widened.text16());
    return aWide ? compare(a, wide) : compare(wide, b);
}
} // namespace

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
    if (wide != otherWide)
        return compareWidened(*this, other,
                              [&](const ConstString& a, const ConstString& b) { return a.compare(b, n, mode); });
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
    return compareWidened(*this, other, [&](const ConstString& a, const ConstString& b) {
        return naturalCompareText(a.text16(), b.text16(), mode);
    });
}

// ---------------------------------------------------------------------------------------------
// String: editing

bool String::replaceUnits(int32 index, int32 count, const void* text, int32 textCount, bool wide)
{
    const size_t width = wide ? 2 : 1;
    if (textCount > 0 && ownsPointer(text)) {
        // The source lies in our own buffer, which resizing may move: take a copy first.
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
    terminateAt(static_cast<int32>(newLength));
    setLength(static_cast<int32>(newLength));
    return true;
}

// The width rule of every edit: 16-bit text widens an 8-bit string first; 8-bit text goes into a
// 16-bit string widened, except that an empty string appended to takes it as 8-bit text.
template <class Char>
void String::putText(int32 index, int32 count, const Char* text, int32 textCount, bool emptyTakesNarrowText)
{
    if constexpr (kWide<Char>) {
        if (!isWideString() && !isEmpty()) {
            // Keep the text safe from the conversion, which frees the old buffer.
            std::u16string copy(text, static_cast<size_t>(textCount));
            if (toWideString(kCP_Default))
                replaceUnits(index, count, copy.data(), textCount, true);
            return;
        }
        replaceUnits(index, count, text, textCount, true);
    } else {
        if (isWideString() && !(emptyTakesNarrowText && isEmpty())) {
            String widened(text, textCount);
            if (widened.toWideString(kCP_Default))
                replaceUnits(index, count, widened.buffer16, widened.length(), true);
            return;
        }
        replaceUnits(index, count, text, textCount, false);
    }
}

template <class Char>
String& String::appendText(const Char* text, int32 n)
{
    if (!text)
        return *this;
    size_t count = unitsTaken(n, textLength(text));
    if (count == 0 || count > static_cast<size_t>(kMaxLength))
        return *this;
    putText(length(), 0, text, static_cast<int32>(count), true);
    return *this;
}

String& String::append(const char16* text, int32 n)
{
    return appendText(text, n);
}

String& String::append(const char8* text, int32 n)
{
    return appendText(text, n);
}

String& String::append(const ConstString& other, int32 n)
{
    if (other.isWideString())
        return append(static_cast<const char16*>(other.rawText()), n);
    return append(static_cast<const char8*>(other.rawText()), n);
}

template <class Char>
String& String::appendRepeated(Char c, int32 n)
{
    if (n < 1 || c == 0)
        return *this;
    if constexpr (kWide<Char>) {
        if (!isWideString() && !isEmpty() && !toWideString(kCP_Default))
            return *this;
    } else if (isWideString() && !isEmpty()) {
        return appendRepeated(widenChar(c), n);
    }
    int32 oldLength = length();
    int64 newLength = static_cast<int64>(oldLength) + n;
    if (newLength > kMaxLength || !resize(static_cast<int32>(newLength), kWide<Char>))
        return *this;
    std::fill(units<Char>() + oldLength, units<Char>() + newLength, c);
    units<Char>()[newLength] = 0;
    setLength(static_cast<int32>(newLength));
    return *this;
}

String& String::append(char16 c, int32 n)
{
    return appendRepeated(c, n);
}

String& String::append(char8 c, int32 n)
{
    return appendRepeated(c, n);
}

template <class Char>
String& String::insertText(int32 index, const Char* text, int32 n)
{
    if (index < 0 || index > length() || !text)
        return *this;
    size_t count = unitsTaken(n, textLength(text));
    if (count < 1 || count > static_cast<size_t>(kMaxLength))
        return *this;
    putText(index, 0, text, static_cast<int32>(count), false);
    return *this;
}

String& String::insertAt(int32 index, const char16* text, int32 n)
{
    return insertText(index, text, n);
}

String& String::insertAt(int32 index, const char8* text, int32 n)
{
    return insertText(index, text, n);
}

String& String::insertAt(int32 index, const ConstString& other, int32 n)
{
    if (other.isWideString())
        return insertAt(index, static_cast<const char16*>(other.rawText()), n);
    return insertAt(index, static_cast<const char8*>(other.rawText()), n);
}

template <class Char>
String& String::replaceText(int32 index, int32 count, const Char* text, int32 n)
{
    int32 len = length();
    if (index < 0 || index > len || !text || count == 0)
        return *this;
    if (count < 0 || static_cast<int64>(index) + count > len)
        count = len - index;
    if (count == 0)
        return *this;
    size_t textCount = unitsTaken(n, textLength(text));
    if (textCount > static_cast<size_t>(kMaxLength))
        return *this;
    putText(index, count, text, static_cast<int32>(textCount), false);
    return *this;
}

String& String::replace(int32 index, int32 count, const char16* text, int32 n)
{
    return replaceText(index, count, text, n);
}

String& String::replace(int32 index, int32 count, const char8* text, int32 n)
{
    return replaceText(index, count, text, n);
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
    terminateAt(newLength);
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
    const int32 len = length();
    auto compact = [&](auto* text) {
        int32 kept = 0;
        for (int32 i = 0; i < len; ++i)
            if (!shouldRemove(text[i]))
                text[kept++] = text[i];
        return kept;
    };
    const int32 kept = isWideString() ? compact(buffer16) : compact(buffer8);
    if (kept == len)
        return false;
    terminateAt(kept);
    resize(kept, isWideString());
    setLength(kept);
    return true;
}

namespace {
// Whether a character group (space, not alphanumeric, not alphabetic) takes the character.
template <class Char>
bool isInGroup(ConstString::CharGroup group, Char c)
{
    switch (group) {
    case ConstString::kSpace:
        return ConstString::isCharSpace(c);
    case ConstString::kNotAlphaNum:
        return !ConstString::isCharAlphaNum(c);
    default:
        return !ConstString::isCharAlpha(c);
    }
}

bool isGroup(ConstString::CharGroup group)
{
    return group >= ConstString::kSpace && group <= ConstString::kNotAlpha;
}

// A set of 8-bit characters as their 16-bit forms.
std::u16string widenedSet(const char8* set)
{
    std::u16string wide;
    for (const char8* p = set; *p; ++p)
        wide.push_back(ConstString::widenChar(*p));
    return wide;
}

// Replaces every unit whose 16-bit form is in the set by `with`.
template <class Char>
bool replaceUnitsIn(Char* text, int32 len, const std::u16string& set, Char with)
{
    bool replaced = false;
    for (int32 i = 0; text && i < len; ++i)
        if (set.find(unitOf(text[i])) != std::u16string::npos)
            text[i] = with, replaced = true;
    return replaced;
}
} // namespace

String& String::removeChars(CharGroup group)
{
    if (isGroup(group))
        removeIf([group](auto c) { return isInGroup(group, c); });
    return *this;
}

bool String::removeChars(const char8* set)
{
    return set && removeChars(widenedSet(set).c_str());
}

bool String::removeChars(const char16* set)
{
    if (!set)
        return false;
    const std::u16string wideSet(set);
    return removeIf([&](auto c) { return wideSet.find(unitOf(c)) != std::u16string::npos; });
}

bool String::replaceChars(const char8* set, char8 replacement)
{
    if (!set)
        return false;
    if (isWideString())
        return replaceChars(widenedSet(set).c_str(), replacement == 0 ? char16(0x20) : widenChar(replacement));
    return replaceUnitsIn(buffer8, length(), widenedSet(set), replacement == 0 ? char8(0x20) : replacement);
}

bool String::replaceChars(const char16* set, char16 replacement)
{
    if (!set)
        return false;
    if (replacement == 0)
        replacement = 0x20;
    const std::u16string wideSet(set);
    if (!isWideString()) {
        char8 byte = 0;
        if (narrowChar(replacement, byte))
            return replaceUnitsIn(buffer8, length(), wideSet, byte);
        // The replacement has no byte in the default code page: continue in 16-bit.
        if (!toWideString(kCP_Default))
            return false;
    }
    return replaceUnitsIn(buffer16, length(), wideSet, replacement);
}

bool String::trim(CharGroup group)
{
    if (!buffer || length() == 0 || !isGroup(group))
        return false;
    const int32 len = length();
    // The characters to go at the front, then (unless that is all) at the back.
    auto ends = [&](auto* text) {
        int32 lead = 0, trail = 0;
        while (lead < len && isInGroup(group, text[lead]))
            ++lead;
        while (trail < len - lead && isInGroup(group, text[len - 1 - trail]))
            ++trail;
        return std::pair<int32, int32>(lead, trail);
    };
    const auto [lead, trail] = isWideString() ? ends(buffer16) : ends(buffer8);
    if (lead == len) {
        resize(0, isWideString());
        return true;
    }
    const int32 newLength = len - lead - trail;
    if (newLength == len)
        return false;
    const size_t width = isWideString() ? 2 : 1;
    char* base = static_cast<char*>(buffer);
    std::memmove(base, base + static_cast<size_t>(lead) * width, static_cast<size_t>(newLength) * width);
    terminateAt(newLength);
    resize(newLength, isWideString());
    setLength(newLength);
    return true;
}

template <class Map>
void String::mapUnits(int32 index, int32 count, Map map)
{
    auto mapEach = [&](auto* text) {
        for (int32 i = index; i < index + count; ++i)
            text[i] = map(text[i]);
    };
    if (!buffer)
        return;
    if (isWideString())
        mapEach(buffer16);
    else
        mapEach(buffer8);
}

namespace {
const auto upper = [](auto c) { return ConstString::toUpper(c); };
const auto lower = [](auto c) { return ConstString::toLower(c); };
} // namespace

void String::toUpper()
{
    mapUnits(0, length(), upper);
}

void String::toLower()
{
    mapUnits(0, length(), lower);
}

void String::toUpper(int32 index)
{
    if (index >= 0 && index < length())
        mapUnits(index, 1, upper);
}

void String::toLower(int32 index)
{
    if (index >= 0 && index < length())
        mapUnits(index, 1, lower);
}

} // namespace Calvereth
