#include "base/fixedstring16.h"

#include <cstdio>

#include "platform/strings.h"

namespace Calvereth {

int32 FixedString16::length() const
{
    int32 n = 0;
    if (isUsable())
        while (n < capacity && buffer[n] != 0)
            ++n;
    return n;
}

namespace {
// Copies at most count units into out (room units), converting each, stopping after a 0, and
// terminates right after the copied text whatever the count.
template <class Out, class In, class Convert>
void copyTerminated(Out* out, int32 room, const In* text, int32 count, Convert convert)
{
    int32 i = 0;
    if (text) {
        for (; i < count; ++i) {
            out[i] = convert(text[i]);
            if (text[i] == 0)
                return;
        }
    }
    out[i < room ? i : room - 1] = 0;
}

const auto sameUnit = [](char16 c) { return c; };
} // namespace

const FixedString16& FixedString16::copyTo(char16* dest, int32 size) const
{
    copyOut(dest, size, sameUnit);
    return *this;
}

const FixedString16& FixedString16::copyTo8(char8* dest, int32 size) const
{
    copyOut(dest, size, [](char16 c) { return static_cast<char8>(c & 0xFF); });
    return *this;
}

template <class Out, class Convert>
void FixedString16::copyOut(Out* dest, int32 size, Convert convert) const
{
    if (!dest || size <= 0)
        return;
    copyTerminated(dest, size, buffer, isUsable() ? ((capacity < size) ? capacity : size) : 0, convert);
    dest[size - 1] = 0;
}

template <class In, class Convert>
FixedString16& FixedString16::assignConverted(const In* text, int32 n, Convert convert)
{
    if (!isUsable())
        return *this;
    int32 count = (n >= 0 && n < capacity) ? n : capacity;
    copyTerminated(buffer, capacity, text, count, convert);
    buffer[capacity - 1] = 0;
    return *this;
}

FixedString16& FixedString16::assign(const char16* text, int32 n)
{
    return assignConverted(text, n, sameUnit);
}

FixedString16& FixedString16::assign(const char8* text, int32 n)
{
    return assignConverted(
        text, n, [](char8 c) { return static_cast<char16>(static_cast<int16>(static_cast<signed char>(c))); });
}

FixedString16& FixedString16::append(const char16* text, int32 n)
{
    if (!isUsable())
        return *this;
    int32 len = length();
    int32 room = capacity - len;
    int32 count = (n >= 0 && n < room) ? n : room;
    if (room > 0)
        copyTerminated(buffer + len, room, text, count, sameUnit);
    buffer[capacity - 1] = 0;
    return *this;
}

void FixedString16::setFromAscii(const char8* text, int32 count)
{
    for (int32 i = 0; i < capacity; ++i)
        buffer[i] = 0;
    int32 limit = capacity - 1;
    for (int32 i = 0; i < count && i < limit; ++i)
        buffer[i] = static_cast<char16>(static_cast<unsigned char>(text[i]));
}

bool FixedString16::printInt(int64 value)
{
    char8 text[32];
    int n = Platform::formatC(text, sizeof text, "%lld", static_cast<long long>(value));
    if (n < 0 || !isUsable())
        return false;
    setFromAscii(text, n);
    return true;
}

void FixedString16::printFloat(int32 precision, double value)
{
    // Only capacity - 1 characters are kept: a bounded buffer suffices for every record field.
    char8 text[1024];
    int n = Platform::formatC(text, sizeof text, "%.*lf", static_cast<int>(precision), value);
    if (n < 0 || !isUsable())
        return;
    setFromAscii(text, n < static_cast<int>(sizeof text) ? n : static_cast<int>(sizeof text) - 1);
}

bool FixedString16::scanInt(int64& value) const
{
    if (!isUsable())
        return false;
    value = Platform::intValue(buffer, static_cast<size_t>(length()));
    return true;
}

bool FixedString16::scanFloat(double& value) const
{
    if (!isUsable())
        return false;
    value = Platform::doubleValue(buffer, static_cast<size_t>(length()));
    return true;
}

} // namespace Calvereth
