#include "base/buffer.h"

#include "base/fstring.h"
#include "platform/strings.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace Calvereth {

Buffer::Buffer() = default;

Buffer::Buffer(uint32 size)
{
    if (size > 0) {
        data = static_cast<uint8*>(std::malloc(size));
        memSize = data ? size : 0;
    }
}

Buffer::Buffer(uint32 size, uint8 fill) : Buffer(size)
{
    if (data)
        std::memset(data, fill, memSize);
}

Buffer::Buffer(const Buffer& other) : delta(other.delta)
{
    if (other.memSize > 0 && (data = static_cast<uint8*>(std::malloc(other.memSize)))) {
        memSize = other.memSize;
        std::memcpy(data, other.data, memSize);
        fillSize = other.fillSize;
    }
}

Buffer::~Buffer()
{
    std::free(data);
}

Buffer& Buffer::operator=(const Buffer& other)
{
    if (this == &other)
        return *this;
    // Never copy into memory that could not be had.
    if (setSize(other.memSize)) {
        if (memSize > 0)
            std::memcpy(data, other.data, memSize);
        fillSize = other.fillSize;
    } else {
        fillSize = 0;
    }
    delta = other.delta;
    return *this;
}

bool Buffer::operator==(const Buffer& other) const
{
    if (this == &other)
        return true;
    if (memSize != other.memSize)
        return false;
    return memSize == 0 || std::memcmp(data, other.data, memSize) == 0;
}

bool Buffer::setSize(uint32 n)
{
    if (memSize == n)
        return (data != nullptr) == (n != 0);
    if (n == 0) {
        std::free(data);
        data = nullptr;
        memSize = fillSize = 0;
        return true;
    }
    uint8* grown = data ? static_cast<uint8*>(std::realloc(data, n)) : static_cast<uint8*>(std::malloc(n));
    if (!grown && data) {
        grown = static_cast<uint8*>(std::malloc(n));
        if (grown)
            std::memcpy(grown, data, memSize < n ? memSize : n);
        std::free(data);
    }
    data = grown;
    memSize = data ? n : 0;
    if (fillSize > memSize)
        fillSize = memSize;
    return data != nullptr;
}

bool Buffer::growFor(uint64 required)
{
    if (required <= memSize)
        return true;
    if (delta == 0)
        delta = kDefaultDelta;
    const uint64 rounded = (required + delta - 1) / delta * delta;
    if (rounded > 0xFFFFFFFFull) {
        if (required > 0xFFFFFFFFull)
            return false;
        return setSize(static_cast<uint32>(required));
    }
    return setSize(static_cast<uint32>(rounded));
}

bool Buffer::grow(uint32 n)
{
    return growFor(n);
}

bool Buffer::put(const void* bytes, uint32 n)
{
    if (!bytes)
        return false;
    if (!growFor(static_cast<uint64>(fillSize) + n))
        return false;
    if (n > 0)
        std::memcpy(data + fillSize, bytes, n);
    fillSize += n;
    return true;
}

bool Buffer::put(char8 c)
{
    return put(&c, 1);
}
bool Buffer::put(char16 c)
{
    return put(&c, 2);
}

bool Buffer::putString8(const char8* text)
{
    if (!text)
        return false;
    const size_t length = std::strlen(text);
    if (length > 0xFFFFFFFFu)
        return false;
    return put(text, static_cast<uint32>(length));
}

uint32 Buffer::get(void* destination, uint32 n)
{
    if (!destination || fillSize >= memSize)
        return 0;
    const uint32 available = memSize - fillSize;
    const uint32 count = n < available ? n : available;
    std::memcpy(destination, data + fillSize, count);
    fillSize += count;
    return count;
}

void Buffer::take(Buffer& other)
{
    if (this == &other)
        return;
    std::free(data);
    data = other.data;
    memSize = other.memSize;
    fillSize = other.fillSize;
    other.data = nullptr;
    other.memSize = other.fillSize = 0;
}

bool Buffer::flush()
{
    if (fillSize < memSize)
        setSize(fillSize);
    return true;
}

void Buffer::shiftAt(uint32 position, int32 amount)
{
    if (amount > 0) {
        if (!growFor(static_cast<uint64>(fillSize) + static_cast<uint32>(amount)))
            return;
        if (fillSize > position)
            std::memmove(data + position + amount, data + position, fillSize - position);
        fillSize += static_cast<uint32>(amount);
    } else if (amount < 0) {
        const uint64 n = static_cast<uint64>(-static_cast<int64>(amount));
        if (fillSize <= n || position >= fillSize)
            return;
        // Only filled bytes are removed: a gap reaching past the end takes the bytes up to it.
        const uint64 removed = n < fillSize - position ? n : fillSize - position;
        std::memmove(data + position, data + position + removed, static_cast<size_t>(fillSize - position - removed));
        fillSize -= static_cast<uint32>(removed);
    }
}

bool Buffer::prependChar16(char16 unit)
{
    const uint32 before = fillSize;
    shiftAt(0, 2);
    if (fillSize != before + 2)
        return false; // the gap could not be opened
    std::memcpy(data, &unit, 2);
    return true;
}

void Buffer::shiftStart(int32 amount, uint8 fill)
{
    if (memSize == 0 || !data || amount == 0)
        return;
    const int64 a = amount;
    const uint64 magnitude = static_cast<uint64>(a < 0 ? -a : a);
    if (magnitude >= memSize) {
        std::memset(data, fill, memSize);
        return;
    }
    const size_t m = static_cast<size_t>(magnitude);
    if (amount > 0) {
        std::memmove(data + m, data, memSize - m);
        std::memset(data, fill, m);
    } else {
        std::memmove(data, data + m, memSize - m);
        std::memset(data + memSize - m, fill, m);
    }
}

bool Buffer::copy(uint32 from, uint32 to, uint32 n)
{
    if (n == 0 || static_cast<uint64>(from) + n > memSize)
        return false;
    const uint64 end = static_cast<uint64>(to) + n;
    if (end > 0xFFFFFFFFull)
        return false;
    if (end > memSize && !setSize(static_cast<uint32>(end)))
        return false;
    std::memmove(data + to, data + from, n);
    return true;
}

namespace {
int hexValue(char8 c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace

bool Buffer::fromHexString(const char8* text)
{
    fillSize = 0;
    if (!text)
        return false;
    const size_t length = std::strlen(text);
    if (length == 0 || length % 2 != 0 || length / 2 > 0xFFFFFFFFu)
        return false;
    const uint32 bytes = static_cast<uint32>(length / 2);
    if (!setSize(bytes))
        return false;
    for (uint32 i = 0; i < bytes; ++i) {
        const int hi = hexValue(text[2 * i]);
        const int lo = hexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        data[i] = static_cast<uint8>(hi * 16 + lo);
    }
    fillSize = bytes;
    return true;
}

bool Buffer::toHexString(String& result) const
{
    if (!data || memSize == 0)
        return false;
    static const char8 kDigits[] = "0123456789ABCDEF";
    std::string text(static_cast<size_t>(memSize) * 2, '\0');
    for (uint32 i = 0; i < memSize; ++i) {
        text[2 * i] = kDigits[data[i] >> 4];
        text[2 * i + 1] = kDigits[data[i] & 15];
    }
    result.assign(text.c_str());
    return true;
}

bool Buffer::setFillSize(uint32 n)
{
    if (n > memSize)
        return false;
    fillSize = n;
    return true;
}

bool Buffer::toWideString(int32 sourceCodePage)
{
    if (fillSize == 0)
        return true;
    if (data[fillSize - 1] != 0 && !put(static_cast<char8>(0)))
        return false;
    const uint32 capacity = fillSize; // in 16-bit units
    const size_t textLength = std::strlen(reinterpret_cast<const char*>(data));
    std::u16string units;
    if (!Platform::decode(data, textLength, Platform::encodingForCodePage(static_cast<uint32>(sourceCodePage)),
                          units) ||
        units.empty())
        return false;
    // Every byte gives at most one unit, so the text and its terminator fit; cut all the same.
    if (units.size() > capacity - 1)
        units.resize(capacity - 1);
    auto* wide = static_cast<uint8*>(std::malloc(static_cast<size_t>(capacity) * 2));
    if (!wide)
        return false;
    std::memcpy(wide, units.data(), units.size() * 2);
    std::memset(wide + units.size() * 2, 0, 2);
    const uint32 result = static_cast<uint32>(units.size()) + 1;
    std::free(data);
    data = wide;
    memSize = capacity * 2;
    fillSize = 2 * (result - 1);
    if (fillSize > memSize)
        fillSize = 0;
    return true;
}

bool Buffer::toMultibyteString(int32 destinationCodePage)
{
    if (fillSize == 0)
        return true;
    uint32 units = fillSize / 2;
    if (units == 0)
        return false;
    char16 last;
    std::memcpy(&last, data + (units - 1) * 2, 2);
    if (last != 0) {
        fillSize = units * 2;
        if (!put(static_cast<char16>(0)))
            return false;
        ++units;
    }
    std::u16string text(units, u'\0');
    std::memcpy(text.data(), data, static_cast<size_t>(units) * 2);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    const uint32 encoding = Platform::encodingForCodePage(static_cast<uint32>(destinationCodePage));
    // Sized for the worst case of the encoding (up to 3 bytes per unit in UTF-8), not one byte
    // per byte of the source.
    const size_t worst = Platform::maxSizeForEncoding(text.size(), encoding) + 1;
    if (worst > 0xFFFFFFFFu)
        return false;
    auto* bytes = static_cast<uint8*>(std::malloc(worst));
    if (!bytes)
        return false;
    size_t used = 0;
    Platform::encode(text.data(), text.size(), encoding, '?', bytes, worst - 1, &used);
    bytes[used] = 0;
    std::free(data);
    data = bytes;
    memSize = static_cast<uint32>(worst);
    fillSize = static_cast<uint32>(used);
    return true;
}

} // namespace Calvereth
