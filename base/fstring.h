#pragma once
// Text of 8-bit (code page) or 16-bit (UTF-16, host order) characters: a view (ConstString)
// and an owning string (String) that converts between the widths on demand.
#include <cstdarg>
#include <cstddef>

#include "base/ftypes.h"
#include "base/variantvalue.h"

namespace Platform {
struct StringObject;
}

namespace Calvereth {

class IAttributeStore;
class IString;
class IStringResult;
class String;

// Code pages of the 8-bit text conversions.
enum : uint32
{
    kCP_Default = 0,
    kCP_MacRoman = 2,
    kCP_ShiftJIS = 932,
    kCP_ANSI = 1252,
    kCP_MacCEE = 10029,
    kCP_Utf8 = 65001,
    kCP_US_ASCII = 20127
};

// Platform encodings given directly; kDefaultEncoding means ASCII for 8-bit, UTF-16 for 16-bit text.
enum : uint32
{
    kDefaultEncoding = 65535
};

using PlatformStringRef = Platform::StringObject*;

class ConstString
{
public:
    static constexpr uint32 kLengthMask = 0x3FFFFFFF;
    static constexpr uint32 kWideFlag = 0x40000000;
    static constexpr uint32 kHighBit = 0x80000000;
    static constexpr int32 kMaxLength = 0x3FFFFFFF;

    enum CompareMode
    {
        kCaseSensitive = 0,
        kCaseInsensitive = 1
    };
    enum CharGroup
    {
        kSpace = 0,
        kNotAlphaNum = 1,
        kNotAlpha = 2
    };
    enum UnicodeNormalization
    {
        kNormalizationC = 0,
        kNormalizationD = 1,
        kNormalizationKC = 2,
        kNormalizationKD = 3
    };

    ConstString() = default;
    ConstString(const char8* text);
    ConstString(const char16* text);
    // View of another string's text starting `offset` characters in (at most its length).
    ConstString(const ConstString& other, int32 offset = 0);
    explicit ConstString(const VariantValue& value);
    ConstString& operator=(const ConstString& other) = default;
    virtual ~ConstString() {}

    virtual int32 length() const { return static_cast<int32>(lengthWord & kLengthMask); }
    virtual const char8* text8() const;
    virtual const char16* text16() const;
    virtual const char16* text() const { return text16(); }
    virtual const void* rawText() const { return buffer; }
    virtual char8 getChar8(int32 index) const;
    virtual char16 getChar16(int32 index) const;
    // A new platform string of the text; the caller releases it.
    virtual PlatformStringRef toCFString(uint32 encoding = kDefaultEncoding, bool mutableString = false) const;

    bool isEmpty() const { return !buffer || length() == 0; }
    bool isWideString() const { return (lengthWord & kWideFlag) != 0; }
    bool isAsciiString() const;
    bool isNormalized(int32 form = kNormalizationC) const;

    // Characters widened through the default code page.
    char16 getChar(int32 index) const;
    bool testChar(int32 index, char16 c) const;
    bool testChar(int32 index, char8 c) const;

    // ---- search and comparison; mode 0 is case-sensitive ----
    int32 findFirst(int32 start, char16 c, int32 mode = kCaseSensitive, int32 end = -1) const;
    int32 findFirst(int32 start, char8 c, int32 mode = kCaseSensitive, int32 end = -1) const;
    int32 findPrev(int32 start, char16 c, int32 mode = kCaseSensitive) const;
    int32 findPrev(int32 start, char8 c, int32 mode = kCaseSensitive) const;
    int32 findNext(int32 start, const ConstString& text, int32 n = -1, int32 mode = kCaseSensitive,
                   int32 end = -1) const;
    int32 findPrev(int32 start, const ConstString& text, int32 n = -1, int32 mode = kCaseSensitive) const;
    bool contains(const ConstString& text, int32 mode = kCaseSensitive) const;
    int32 countOccurences(char16 c, int32 start, int32 mode = kCaseSensitive) const;
    int32 countOccurences(char8 c, int32 start, int32 mode = kCaseSensitive) const;
    bool startsWith(const ConstString& text, int32 mode = kCaseSensitive) const;
    bool endsWith(const ConstString& text, int32 mode = kCaseSensitive) const;
    int32 getFirstDifferent(const ConstString& text, int32 mode = kCaseSensitive) const;
    int32 compare(const ConstString& text, int32 n, int32 mode) const;
    int32 compare(const ConstString& text, int32 mode = kCaseSensitive) const { return compare(text, -1, mode); }
    int32 naturalCompare(const ConstString& text, int32 mode = kCaseSensitive) const;

    bool operator==(const ConstString& other) const { return compare(other) == 0; }
    bool operator!=(const ConstString& other) const { return compare(other) != 0; }
    bool operator<(const ConstString& other) const { return compare(other) < 0; }
    bool operator>(const ConstString& other) const { return compare(other) > 0; }
    bool operator<=(const ConstString& other) const { return compare(other) <= 0; }
    bool operator>=(const ConstString& other) const { return compare(other) >= 0; }

    // ---- copies ----
    // At most n characters from index (the rest when n < 0), terminated; the count copied.
    int32 copyTo16(char16* dest, int32 index = 0, int32 n = -1) const;
    int32 copyTo8(char8* dest, int32 index = 0, int32 n = -1) const;
    int32 copyTo(char16* dest, int32 index = 0, int32 n = -1) const { return copyTo16(dest, index, n); }
    void copyTo(IString* object) const;
    void copyTo(IStringResult* object) const;
    // The target gets min(n, length - index) characters from index, in this string's width.
    bool extract(String& target, int32 index, int32 n = -1) const;
    // The variant refers to the text (not owned).
    void toVariant(VariantValue& value) const;

    // ---- numbers ----
    bool scanInt64(int64& value, int32 index = 0, bool scanToEnd = true) const;
    bool scanUInt64(uint64& value, int32 index = 0, bool scanToEnd = true) const;
    bool scanInt32(int32& value, int32 index = 0, bool scanToEnd = true) const;
    bool scanUInt32(uint32& value, int32 index = 0, bool scanToEnd = true) const;
    bool scanHex(uint8& value, int32 index = 0, bool scanToEnd = true) const;
    bool scanFloat(double& value, int32 index = 0, bool scanToEnd = true) const;
    int64 getTrailingNumber(int64 fallback = 0) const;

    // Only finite decimal numbers read: no infinities, NaNs or hexadecimal numbers, and a number
    // beyond the double range reads as none.
    static bool scanFloat_8(const char8* text, double& value, bool scanToEnd = true);
    static bool scanFloat_16(const char16* text, double& value, bool scanToEnd = true);
    static bool scanInt64_8(const char8* text, int64& value, bool scanToEnd = true);
    static bool scanInt64_16(const char16* text, int64& value, bool scanToEnd = true);
    static bool scanUInt64_8(const char8* text, uint64& value, bool scanToEnd = true);
    static bool scanUInt64_16(const char16* text, uint64& value, bool scanToEnd = true);
    static bool scanInt32_8(const char8* text, int32& value, bool scanToEnd = true);
    static bool scanInt32_16(const char16* text, int32& value, bool scanToEnd = true);
    static bool scanUInt32_8(const char8* text, uint32& value, bool scanToEnd = true);
    static bool scanUInt32_16(const char16* text, uint32& value, bool scanToEnd = true);
    static bool scanHex_8(const char8* text, uint8& value, bool scanToEnd = true);
    static bool scanHex_16(const char16* text, uint8& value, bool scanToEnd = true);

    // ---- characters ----
    static bool isCharSpace(char8 c);
    static bool isCharSpace(char16 c);
    static bool isCharAlpha(char8 c);
    static bool isCharAlpha(char16 c);
    static bool isCharAlphaNum(char8 c);
    static bool isCharAlphaNum(char16 c);
    static bool isCharDigit(char8 c);
    static bool isCharDigit(char16 c);
    static bool isCharAscii(char8 c) { return c >= 0; }
    static bool isCharAscii(char16 c) { return c < 128; }
    static bool isCharUnicodeSpace(char16 c);
    static bool isCharUpper(char8 c) { return toUpper(c) == c; }
    static bool isCharUpper(char16 c) { return toUpper(c) == c; }
    static bool isCharLower(char8 c) { return toLower(c) == c; }
    static bool isCharLower(char16 c) { return toLower(c) == c; }
    static char8 toUpper(char8 c);
    static char16 toUpper(char16 c);
    static char8 toLower(char8 c);
    static char16 toLower(char16 c);

    // One byte of the default code page as a 16-bit character, and back (false when the character
    // is not exactly one byte there).
    static char16 widenChar(char8 c);
    static bool narrowChar(char16 c, char8& out);

protected:
    friend class String;

    void setLength(int32 n) { lengthWord = (lengthWord & ~kLengthMask) | (static_cast<uint32>(n) & kLengthMask); }
    void setWide(bool wide) { lengthWord = wide ? (lengthWord | kWideFlag) : (lengthWord & ~kWideFlag); }
    // Whether p points into this string's buffer.
    bool ownsPointer(const void* p) const;
    // The buffer as units of one width.
    template <class Char>
    Char* units() const
    {
        return static_cast<Char*>(buffer);
    }
    // Units before the terminator; 0 for no text.
    template <class Char>
    static size_t textLength(const Char* text)
    {
        size_t n = 0;
        if (text)
            while (text[n])
                ++n;
        return n;
    }

    union
    {
        void* buffer = nullptr;
        char8* buffer8;
        char16* buffer16;
    };
    uint32 lengthWord = 0;
};

class String : public ConstString
{
public:
    String();
    String(const char8* text, int32 n = -1, bool isTerminated = true);
    String(const char16* text, int32 n = -1, bool isTerminated = true);
    String(const ConstString& other, int32 n = -1);
    String(const String& other);
    String(String&& other) noexcept;
    explicit String(const VariantValue& value);
    ~String() override;

    String& operator=(const char8* text) { return assign(text); }
    String& operator=(const char16* text) { return assign(text); }
    String& operator=(const ConstString& other) { return assign(other); }
    String& operator=(const String& other) { return assign(other); }
    String& operator=(String&& other) noexcept;
    String& operator+=(const char8* text) { return append(text); }
    String& operator+=(const char16* text) { return append(text); }
    String& operator+=(const ConstString& other) { return append(other); }
    String& operator+=(char8 c) { return append(c); }
    String& operator+=(char16 c) { return append(c); }

    const char8* text8() const override;
    const char16* text16() const override;
    char8 getChar8(int32 index) const override;
    char16 getChar16(int32 index) const override;
    // Takes the text of a platform string, keeping this string's width.
    virtual bool fromCFString(PlatformStringRef string, uint32 encoding = kDefaultEncoding);

    // ---- storage and conversion ----
    // The one storage primitive: the buffer holds newLength + 1 characters of the given width.
    // On failure nothing changes (width included).
    bool resize(int32 newLength, bool wide, bool fill = false);
    bool toWideString(uint32 sourceCodePage = kCP_Default);
    bool toMultiByte(uint32 destCodePage = kCP_Default);
    String& fromUTF8(const char8* text);
    bool normalize(int32 form = kNormalizationC);
    void updateLength();

    // Units produced + 1 (terminator written), 0 on failure; with a null destination the units
    // needed including the terminator. The destination holds capacity + 1 units.
    static int32 multiByteToWideString(char16* dest, const char8* source, int32 capacity,
                                       uint32 sourceCodePage = kCP_Default);
    // Bytes produced + 1 (terminator written), 0 on failure; with a null destination an upper bound.
    static int32 wideStringToMultiByte(char8* dest, const char16* source, int32 capacity,
                                       uint32 destCodePage = kCP_Default);

    // ---- assignment ----
    String& assign(const ConstString& other, int32 n = -1);
    String& assign(const char8* text, int32 n = -1, bool isTerminated = true);
    String& assign(const char16* text, int32 n = -1, bool isTerminated = true);
    String& assign(char16 c, int32 n = 1);
    String& assign(char8 c, int32 n = 1);
    // Takes over the other's buffer; the other is left without text.
    String& take(String& other);
    // Adopts a malloc'ed, 0-terminated buffer.
    String& take(void* buffer, bool wide);
    String& fromPascalString(const unsigned char* bytes);
    void toPascalString(unsigned char* dest) const;
    bool setChar(int32 index, char16 c);
    bool setChar(int32 index, char8 c);
    void passToVariant(VariantValue& value);
    bool fromVariant(const VariantValue& value);

    // The text lent to the store as a variant (not owned) under the id / the variant under the id
    // read back through fromVariant. True when the store answered 0 (and, reading, the variant
    // was a number or a text); false without a store.
    bool toAttributes(IAttributeStore* store, const char8* id) const;
    bool fromAttributes(IAttributeStore* store, const char8* id);

    // ---- editing ----
    String& append(const ConstString& other, int32 n = -1);
    String& append(const char8* text, int32 n = -1);
    String& append(const char16* text, int32 n = -1);
    String& append(char8 c, int32 n = 1);
    String& append(char16 c, int32 n = 1);
    String& insertAt(int32 index, const ConstString& other, int32 n = -1);
    String& insertAt(int32 index, const char8* text, int32 n = -1);
    String& insertAt(int32 index, const char16* text, int32 n = -1);
    String& replace(int32 index, int32 count, const ConstString& other, int32 n = -1);
    String& replace(int32 index, int32 count, const char8* text, int32 n = -1);
    String& replace(int32 index, int32 count, const char16* text, int32 n = -1);
    // Case-sensitive; the first occurrence or, with all, every one; the number replaced.
    int32 replace(const char16* toReplace, const char16* replacement, bool all = false);
    String& remove(int32 index = 0, int32 n = -1);
    String& removeSubString(const ConstString& text, int32 mode = kCaseSensitive);
    String& removeChars(CharGroup group = kSpace);
    bool removeChars(const char8* set);
    bool removeChars(const char16* set);
    bool replaceChars(const char8* set, char8 replacement);
    bool replaceChars(const char16* set, char16 replacement);
    bool trim(CharGroup group = kSpace);
    void toUpper();
    void toLower();
    void toUpper(int32 index);
    void toLower(int32 index);

    // ---- formatting ----
    String& printf(const char8* format, ...);
    String& printf(const char16* format, ...);
    String& vprintf(const char8* format, va_list args);
    String& vprintf(const char16* format, va_list args);
    String& printInt64(int64 value);
    String& printFloat(double value);
    // A trailing decimal number (after an optional separator) counted up, or " 1"-style appended.
    bool incrementTrailingNumber(uint32 width, char16 separator, uint32 minNumber, bool applyOnlyFormat = false);

    // 16-bit formatting into dest: at most size - 1 characters and a terminator (size < 0: no
    // limit); "%s" takes a 16-bit text. The number of characters written, -1 (nothing written)
    // when the format has a conversion that cannot be formatted.
    static int32 snwprintf(char16* dest, int32 size, const char16* format, ...);
    static int32 vsnwprintf(char16* dest, int32 size, const char16* format, va_list args);

private:
    friend class ConstString;

    bool assignUnits(const void* text, int32 count, bool wide);
    // Puts textCount units of the given width in place of count characters at index.
    bool replaceUnits(int32 index, int32 count, const void* text, int32 textCount, bool wide);
    // The terminator after n units of the current width.
    void terminateAt(int32 n);

    // The 8-bit and the 16-bit form of an operation, written once over the character type.
    template <class Char>
    String& assignText(const Char* text, int32 n, bool isTerminated);
    template <class Char>
    String& assignRepeated(Char c, int32 n);
    template <class Char>
    bool setUnit(int32 index, Char c);
    template <class Char>
    String& appendText(const Char* text, int32 n);
    template <class Char>
    String& appendRepeated(Char c, int32 n);
    template <class Char>
    String& insertText(int32 index, const Char* text, int32 n);
    template <class Char>
    String& replaceText(int32 index, int32 count, const Char* text, int32 n);
    template <class Char>
    void putText(int32 index, int32 count, const Char* text, int32 textCount, bool emptyTakesNarrowText);
    template <class Pred>
    bool removeIf(Pred shouldRemove);
    // Each of count units from index replaced by map (unit).
    template <class Map>
    void mapUnits(int32 index, int32 count, Map map);
};

} // namespace Calvereth
