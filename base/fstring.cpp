// Storage, construction and conversion of strings.
#include "base/fstring.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/iattributestore.h"
#include "base/istring.h"
#include "platform/strings.h"

namespace Calvereth {

namespace {

const char8 kEmpty8[1] = {0};
const char16 kEmpty16[1] = {0};

template <class Char>
constexpr bool kWide = sizeof(Char) == sizeof(char16);

// Converts a string to the width Char in the default code page.
template <class Char>
bool toWidthOf(String& s)
{
    return kWide<Char> ? s.toWideString(kCP_Default) : s.toMultiByte(kCP_Default);
}

// The units from index on in the destination's width (a string of the other width converts a
// copy first), at most n of them (all when n < 0), terminated; the count copied.
template <class Char>
int32 copyUnits(const ConstString& s, Char* dest, int32 index, int32 n)
{
    if (!dest)
        return 0;
    const int32 len = s.length();
    if (!s.rawText() || index < 0 || index >= len) {
        dest[0] = 0;
        return 0;
    }
    if (s.isWideString() != kWide<Char>) {
        String converted(s);
        if (!toWidthOf<Char>(converted)) {
            dest[0] = 0;
            return 0;
        }
        return copyUnits(converted, dest, index, n);
    }
    const int32 count = (n < 0 || n > len - index) ? len - index : n;
    std::memcpy(dest, static_cast<const Char*>(s.rawText()) + index, static_cast<size_t>(count) * sizeof(Char));
    dest[count] = 0;
    return count;
}

int32 clampLength(size_t n)
{
    return n > static_cast<size_t>(ConstString::kMaxLength) ? ConstString::kMaxLength : static_cast<int32>(n);
}

Platform::NormalizationForm platformForm(int32 form, bool& ok)
{
    ok = true;
    switch (form) {
    case ConstString::kNormalizationC:
        return Platform::kFormC;
    case ConstString::kNormalizationD:
        return Platform::kFormD;
    case ConstString::kNormalizationKC:
        return Platform::kFormKC;
    case ConstString::kNormalizationKD:
        return Platform::kFormKD;
    default:
        ok = false;
        return Platform::kFormC;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// ConstString

ConstString::ConstString(const char8* text) : buffer8(const_cast<char8*>(text))
{
    lengthWord = static_cast<uint32>(clampLength(textLength(text)));
}

ConstString::ConstString(const char16* text) : buffer16(const_cast<char16*>(text))
{
    lengthWord = static_cast<uint32>(clampLength(textLength(text))) | kWideFlag;
}

ConstString::ConstString(const ConstString& other, int32 offset) : buffer(other.buffer)
{
    lengthWord = other.lengthWord;
    if (offset > 0 && buffer) {
        int32 len = other.length();
        if (offset > len)
            offset = len;
        if (isWideString())
            buffer16 += offset;
        else
            buffer8 += offset;
        setLength(len - offset);
    }
}

ConstString::ConstString(const VariantValue& value)
{
    if (value.getType() == VariantValue::kString16) {
        buffer16 = const_cast<char16*>(value.getString16());
        lengthWord = static_cast<uint32>(clampLength(textLength(buffer16))) | kWideFlag;
    } else if (value.getType() == VariantValue::kString8) {
        buffer8 = const_cast<char8*>(value.getString8());
        lengthWord = static_cast<uint32>(clampLength(textLength(buffer8)));
    }
}

const char8* ConstString::text8() const
{
    return (!isWideString() && buffer8) ? buffer8 : kEmpty8;
}

const char16* ConstString::text16() const
{
    return (isWideString() && buffer16) ? buffer16 : kEmpty16;
}

char8 ConstString::getChar8(int32 index) const
{
    if (isWideString() || !buffer8 || index < 0 || index >= length())
        return 0;
    return buffer8[index];
}

char16 ConstString::getChar16(int32 index) const
{
    if (!isWideString() || !buffer16 || index < 0 || index >= length())
        return 0;
    return buffer16[index];
}

char16 ConstString::getChar(int32 index) const
{
    if (!buffer || index < 0 || index >= length())
        return 0;
    return isWideString() ? buffer16[index] : widenChar(buffer8[index]);
}

bool ConstString::ownsPointer(const void* p) const
{
    if (!buffer || !p)
        return false;
    auto begin = reinterpret_cast<uintptr_t>(buffer);
    auto end = begin + (static_cast<uintptr_t>(length()) + 1) * (isWideString() ? 2 : 1);
    auto at = reinterpret_cast<uintptr_t>(p);
    return at >= begin && at < end;
}

bool ConstString::isAsciiString() const
{
    int32 len = length();
    if (!buffer)
        return true;
    for (int32 i = 0; i < len; ++i)
        if (isWideString() ? buffer16[i] >= 128 : buffer8[i] < 0)
            return false;
    return true;
}

bool ConstString::isNormalized(int32 form) const
{
    bool ok = false;
    Platform::NormalizationForm f = platformForm(form, ok);
    if (!ok || !isWideString())
        return false;
    if (!buffer16)
        return true;
    return Platform::isNormalized(buffer16, static_cast<size_t>(length()), f);
}

char16 ConstString::widenChar(char8 c)
{
    static const std::array<char16, 256> table = [] {
        std::array<char16, 256> t{};
        for (int b = 0; b < 256; ++b) {
            char byte = static_cast<char>(b);
            std::u16string out;
            t[b] = (b != 0 && Platform::decode(&byte, 1, Platform::kEncodingMacRoman, out) && out.size() == 1)
                       ? out[0]
                       : static_cast<char16>(b);
        }
        return t;
    }();
    return table[static_cast<uint8>(c)];
}

bool ConstString::narrowChar(char16 c, char8& out)
{
    if (c < 0x80) {
        out = static_cast<char8>(c);
        return true;
    }
    char8 bytes[4];
    size_t used = 0;
    if (Platform::encode(&c, 1, Platform::kEncodingMacRoman, 0, bytes, sizeof bytes, &used) != 1 || used != 1)
        return false;
    out = bytes[0];
    return true;
}

PlatformStringRef ConstString::toCFString(uint32 encoding, bool mutableString) const
{
    int32 len = length();
    bool wide = isWideString();
    uint32 enc =
        encoding != kDefaultEncoding ? encoding : (wide ? Platform::kEncodingUnicode : Platform::kEncodingASCII);
    if (mutableString) {
        PlatformStringRef s = Platform::createMutableString();
        bool ok = true;
        if (buffer && len > 0) {
            ok = wide ? Platform::appendCharacters(s, buffer16, static_cast<size_t>(len))
                      : Platform::appendBytes(s, buffer8, static_cast<size_t>(len), enc);
        }
        if (!ok) {
            Platform::release(s);
            return nullptr;
        }
        return s;
    }
    if (wide) {
        if (enc == Platform::kEncodingUnicode)
            return Platform::createString(buffer16, buffer16 ? static_cast<size_t>(len) : 0);
        return Platform::createStringWithBytes(buffer16, buffer16 ? static_cast<size_t>(len) * 2 : 0, enc);
    }
    return Platform::createStringWithBytes(buffer8 ? buffer8 : kEmpty8, buffer8 ? static_cast<size_t>(len) : 0, enc);
}

int32 ConstString::copyTo16(char16* dest, int32 index, int32 n) const
{
    return copyUnits(*this, dest, index, n);
}

int32 ConstString::copyTo8(char8* dest, int32 index, int32 n) const
{
    return copyUnits(*this, dest, index, n);
}

void ConstString::copyTo(IString* object) const
{
    if (!object)
        return;
    if (isWideString())
        object->setText16(text16());
    else
        object->setText8(text8());
}

void ConstString::copyTo(IStringResult* object) const
{
    if (!object)
        return;
    if (isWideString()) {
        IString* iString = nullptr;
        if (object->queryInterface(IString::iid, reinterpret_cast<void**>(&iString)) == kResultOk && iString) {
            iString->setText16(text16());
            iString->release();
            return;
        }
        String narrow(*this);
        narrow.toMultiByte(kCP_Default);
        object->setText(narrow.text8());
        return;
    }
    object->setText(text8());
}

bool ConstString::extract(String& target, int32 index, int32 n) const
{
    int32 len = length();
    if (isEmpty() || index < 0 || index >= len)
        return false;
    int32 count = (n < 0 || n > len - index) ? len - index : n;
    if (isWideString())
        target.assignUnits(buffer16 + index, count, true);
    else
        target.assignUnits(buffer8 + index, count, false);
    return true;
}

void ConstString::toVariant(VariantValue& value) const
{
    if (isWideString())
        value.setString16(buffer16);
    else
        value.setString8(buffer8);
}

// ---------------------------------------------------------------------------------------------
// String: storage

String::String()
{
    lengthWord = kWideFlag;
}

String::String(const char8* text, int32 n, bool isTerminated) : String()
{
    assign(text, n, isTerminated);
}

String::String(const char16* text, int32 n, bool isTerminated) : String()
{
    assign(text, n, isTerminated);
}

String::String(const ConstString& other, int32 n) : String()
{
    setWide(other.isWideString());
    assign(other, n);
}

String::String(const String& other) : ConstString()
{
    lengthWord = kWideFlag;
    setWide(other.isWideString());
    assign(other);
}

String::String(String&& other) noexcept : ConstString()
{
    lengthWord = kWideFlag;
    take(other);
}

String::String(const VariantValue& value) : String()
{
    fromVariant(value);
}

String::~String()
{
    std::free(buffer);
    buffer = nullptr;
}

String& String::operator=(String&& other) noexcept
{
    return take(other);
}

const char8* String::text8() const
{
    if (isWideString())
        const_cast<String*>(this)->toMultiByte(kCP_Default);
    return ConstString::text8();
}

const char16* String::text16() const
{
    if (!isWideString())
        const_cast<String*>(this)->toWideString(kCP_Default);
    return ConstString::text16();
}

char8 String::getChar8(int32 index) const
{
    if (isWideString())
        const_cast<String*>(this)->toMultiByte(kCP_Default);
    return ConstString::getChar8(index);
}

char16 String::getChar16(int32 index) const
{
    if (!isWideString())
        const_cast<String*>(this)->toWideString(kCP_Default);
    return ConstString::getChar16(index);
}

bool String::resize(int32 newLength, bool wide, bool fill)
{
    if (newLength < 0 || newLength > kMaxLength)
        return false;
    if (newLength == 0) {
        std::free(buffer);
        buffer = nullptr;
        lengthWord = (lengthWord & kHighBit) | (wide ? kWideFlag : 0);
        return true;
    }
    const size_t width = wide ? 2 : 1;
    const size_t newSize = (static_cast<size_t>(newLength) + 1) * width;
    const int32 oldLength = buffer ? length() : 0;
    if (buffer) {
        const size_t oldSize = (static_cast<size_t>(oldLength) + 1) * (isWideString() ? 2 : 1);
        if (newSize != oldSize) {
            void* grown = std::realloc(buffer, newSize);
            if (!grown)
                return false;
            buffer = grown;
        }
        if (newLength < oldLength) {
            if (wide)
                buffer16[newLength] = 0;
            else
                buffer8[newLength] = 0;
        }
    } else {
        buffer = std::malloc(newSize);
        if (!buffer)
            return false;
        if (wide)
            buffer16[0] = 0;
        else
            buffer8[0] = 0;
    }
    // The width changes only once the buffer is in place.
    setWide(wide);
    if (fill && newLength > oldLength) {
        for (int32 i = oldLength; i < newLength; ++i) {
            if (wide)
                buffer16[i] = 0x20;
            else
                buffer8[i] = 0x20;
        }
    }
    return true;
}

void String::updateLength()
{
    if (!buffer) {
        setLength(0);
        return;
    }
    setLength(clampLength(isWideString() ? textLength(buffer16) : textLength(buffer8)));
}

bool String::assignUnits(const void* text, int32 count, bool wide)
{
    if (count < 0 || count > kMaxLength)
        return false;
    const size_t bytes = static_cast<size_t>(count) * (wide ? 2 : 1);
    if (count > 0 && ownsPointer(text)) {
        // The source lies in our own buffer, which resizing may move.
        void* copy = std::malloc(bytes);
        if (!copy)
            return false;
        std::memcpy(copy, text, bytes);
        bool ok = assignUnits(copy, count, wide);
        std::free(copy);
        return ok;
    }
    if (count > 0 && !text)
        return false;
    if (!resize(count, wide))
        return false;
    if (count > 0) {
        std::memcpy(buffer, text, bytes);
        terminateAt(count);
    }
    setLength(count);
    return true;
}

void String::terminateAt(int32 n)
{
    if (isWideString())
        units<char16>()[n] = 0;
    else
        units<char8>()[n] = 0;
}

bool String::toWideString(uint32 sourceCodePage)
{
    if (isWideString())
        return true;
    if (!buffer || length() == 0) {
        resize(0, true);
        return true;
    }
    std::u16string wide;
    if (!Platform::decode(buffer8, static_cast<size_t>(length()), Platform::encodingForCodePage(sourceCodePage),
                          wide) ||
        wide.empty() || wide.size() > static_cast<size_t>(kMaxLength))
        return false;
    auto* converted = static_cast<char16*>(std::malloc((wide.size() + 1) * sizeof(char16)));
    if (!converted)
        return false;
    std::memcpy(converted, wide.data(), wide.size() * sizeof(char16));
    converted[wide.size()] = 0;
    std::free(buffer);
    buffer16 = converted;
    setWide(true);
    setLength(static_cast<int32>(wide.size()));
    updateLength();
    return true;
}

bool String::toMultiByte(uint32 destCodePage)
{
    if (!isWideString()) {
        if (destCodePage == kCP_Default)
            return true;
        // Text stored in the default code page is re-encoded through 16-bit text.
        if (!toWideString(kCP_Default))
            return false;
    }
    if (!buffer || length() == 0) {
        resize(0, false);
        return true;
    }
    uint32 encoding = Platform::encodingForCodePage(destCodePage);
    size_t units = static_cast<size_t>(length());
    size_t capacity = Platform::maxSizeForEncoding(units, encoding);
    auto* converted = static_cast<char8*>(std::malloc(capacity + 1));
    if (!converted)
        return false;
    size_t used = 0;
    Platform::encode(buffer16, units, encoding, '?', converted, capacity, &used);
    if (used == 0 || used > static_cast<size_t>(kMaxLength)) {
        std::free(converted);
        return false;
    }
    converted[used] = 0;
    if (void* shrunk = std::realloc(converted, used + 1))
        converted = static_cast<char8*>(shrunk);
    std::free(buffer);
    buffer8 = converted;
    setWide(false);
    setLength(static_cast<int32>(used));
    updateLength();
    return true;
}

String& String::fromUTF8(const char8* text)
{
    assign(text);
    toWideString(kCP_Utf8);
    return *this;
}

int32 String::multiByteToWideString(char16* dest, const char8* source, int32 capacity, uint32 sourceCodePage)
{
    if (!source)
        source = kEmpty8;
    std::u16string wide;
    if (!Platform::decode(source, std::strlen(source), Platform::encodingForCodePage(sourceCodePage), wide))
        return 0;
    if (wide.size() >= static_cast<size_t>(kMaxLength))
        return 0;
    if (!dest)
        return wide.empty() ? 0 : static_cast<int32>(wide.size()) + 1;
    size_t count = capacity > 0 ? std::min(wide.size(), static_cast<size_t>(capacity)) : 0;
    if (count == 0)
        return 0;
    std::memcpy(dest, wide.data(), count * sizeof(char16));
    dest[count] = 0;
    return static_cast<int32>(count) + 1;
}

int32 String::wideStringToMultiByte(char8* dest, const char16* source, int32 capacity, uint32 destCodePage)
{
    size_t units = textLength(source);
    uint32 encoding = Platform::encodingForCodePage(destCodePage);
    if (!dest) {
        size_t bound = Platform::maxSizeForEncoding(units, encoding);
        return bound > static_cast<size_t>(INT32_MAX) ? 0 : static_cast<int32>(bound);
    }
    if (capacity < 0)
        return 0;
    size_t used = 0;
    Platform::encode(source, units, encoding, '?', dest, static_cast<size_t>(capacity), &used);
    if (used == 0 && units > 0)
        return 0;
    dest[used] = 0;
    return static_cast<int32>(used) + 1;
}

bool String::normalize(int32 form)
{
    bool ok = false;
    Platform::NormalizationForm f = platformForm(form, ok);
    if (!ok || !isWideString() || !buffer16)
        return false;
    std::u16string text(buffer16, static_cast<size_t>(length()));
    if (!Platform::normalize(text, f) || text.size() > static_cast<size_t>(kMaxLength))
        return false;
    if (text.empty())
        return resize(0, true);
    return assignUnits(text.data(), static_cast<int32>(text.size()), true);
}

bool String::fromCFString(PlatformStringRef string, uint32 encoding)
{
    if (!string)
        return false;
    size_t units = Platform::getLength(string);
    const char16* chars = Platform::getCharacters(string);
    if (units > static_cast<size_t>(kMaxLength)) {
        resize(0, isWideString());
        return false;
    }
    if (isWideString()) {
        if (units == 0) {
            resize(0, true);
            return false;
        }
        if (!assignUnits(chars, static_cast<int32>(units), true))
            return false;
        updateLength();
        return true;
    }
    uint32 enc = encoding == kDefaultEncoding ? Platform::kEncodingASCII : encoding;
    // Sized for the encoding: a UTF-8 text may need three bytes per unit.
    size_t capacity = Platform::maxSizeForEncoding(units, enc);
    std::string bytes(capacity + 1, '\0');
    size_t used = 0;
    if (Platform::encode(chars, units, enc, 0, bytes.data(), capacity, &used) != units ||
        used > static_cast<size_t>(kMaxLength)) {
        resize(0, false);
        return false;
    }
    if (!assignUnits(bytes.data(), static_cast<int32>(used), false))
        return false;
    updateLength();
    return true;
}

// ---------------------------------------------------------------------------------------------
// String: assignment

String& String::assign(const ConstString& other, int32 n)
{
    const void* text = other.rawText();
    if (text && text == buffer)
        return *this;
    if (other.isWideString())
        return assignText(static_cast<const char16*>(text), n, true);
    return assignText(static_cast<const char8*>(text), n, true);
}

template <class Char>
String& String::assignText(const Char* text, int32 n, bool isTerminated)
{
    if (text && text == buffer && isWideString() == kWide<Char>)
        return *this;
    size_t count;
    if (isTerminated) {
        count = textLength(text);
        if (n >= 0 && static_cast<size_t>(n) < count)
            count = static_cast<size_t>(n);
    } else {
        if (n < 0 || (!text && n > 0))
            return *this;
        count = static_cast<size_t>(n);
    }
    if (count > static_cast<size_t>(kMaxLength))
        return *this;
    assignUnits(text, static_cast<int32>(count), kWide<Char>);
    return *this;
}

String& String::assign(const char8* text, int32 n, bool isTerminated)
{
    return assignText(text, n, isTerminated);
}

String& String::assign(const char16* text, int32 n, bool isTerminated)
{
    return assignText(text, n, isTerminated);
}

template <class Char>
String& String::assignRepeated(Char c, int32 n)
{
    if (n <= 0) {
        resize(0, kWide<Char>);
        return *this;
    }
    if (!resize(n, kWide<Char>))
        return *this;
    std::fill_n(units<Char>(), n, c);
    units<Char>()[n] = 0;
    setLength(n);
    return *this;
}

String& String::assign(char16 c, int32 n)
{
    return assignRepeated(c, n);
}

String& String::assign(char8 c, int32 n)
{
    return assignRepeated(c, n);
}

String& String::take(String& other)
{
    if (&other == this)
        return *this;
    std::free(buffer);
    buffer = other.buffer;
    lengthWord = (lengthWord & kHighBit) | (other.lengthWord & ~kHighBit);
    other.buffer = nullptr;
    other.setLength(0);
    return *this;
}

String& String::take(void* text, bool wide)
{
    if (text == buffer) {
        setWide(wide);
        updateLength();
        return *this;
    }
    std::free(buffer);
    buffer = text;
    setWide(wide);
    updateLength();
    return *this;
}

String& String::fromPascalString(const unsigned char* bytes)
{
    if (!bytes)
        return *this;
    return assign(reinterpret_cast<const char8*>(bytes + 1), bytes[0], false);
}

void String::toPascalString(unsigned char* dest) const
{
    if (!dest)
        return;
    String narrow(*this);
    narrow.toMultiByte(kCP_Default);
    int32 n = narrow.length();
    if (n > 255)
        n = 255;
    dest[0] = static_cast<unsigned char>(n);
    if (n > 0)
        std::memcpy(dest + 1, narrow.text8(), static_cast<size_t>(n));
}

// c is of the string's own width.
template <class Char>
bool String::setUnit(int32 index, Char c)
{
    if (index < 0)
        return false;
    int32 len = length();
    if (index == len && c == 0)
        return true;
    if (index >= len) {
        if (index >= kMaxLength)
            return false;
        int32 newLength = c == 0 ? index : index + 1;
        if (!resize(newLength, kWide<Char>, true))
            return false;
        units<Char>()[newLength] = 0;
        setLength(newLength);
        if (c == 0)
            return true;
    }
    units<Char>()[index] = c;
    if (c == 0) {
        updateLength();
        resize(length(), kWide<Char>);
    }
    return true;
}

bool String::setChar(int32 index, char16 c)
{
    if (isWideString())
        return setUnit(index, c);
    char8 byte = 0;
    return narrowChar(c, byte) && setUnit(index, byte);
}

bool String::setChar(int32 index, char8 c)
{
    // An 8-bit character goes into an 8-bit string unchanged.
    if (isWideString())
        return setUnit(index, widenChar(c));
    return setUnit(index, c);
}

void String::passToVariant(VariantValue& value)
{
    if (!buffer) {
        if (isWideString())
            value.setString16(kEmpty16);
        else
            value.setString8(kEmpty8);
        return;
    }
    if (isWideString())
        value.takeString16(buffer16);
    else
        value.takeString8(buffer8);
    buffer = nullptr;
    setLength(0);
}

bool String::fromVariant(const VariantValue& value)
{
    switch (value.getType()) {
    case VariantValue::kInteger:
        printInt64(value.getInt());
        return true;
    case VariantValue::kFloat:
        printFloat(value.getFloat());
        return true;
    case VariantValue::kString8:
        assign(value.getString8());
        return true;
    case VariantValue::kString16:
        assign(value.getString16());
        return true;
    default:
        resize(0, isWideString());
        return false;
    }
}

bool String::toAttributes(IAttributeStore* store, const char8* id) const
{
    if (!store)
        return false;
    VariantValue value;
    toVariant(value);
    return store->set(id, value) == kResultOk;
}

bool String::fromAttributes(IAttributeStore* store, const char8* id)
{
    if (!store)
        return false;
    VariantValue value;
    if (store->get(id, value) != kResultOk)
        return false;
    return fromVariant(value);
}

} // namespace Calvereth
