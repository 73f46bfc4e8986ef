#include "base/fuid.h"

#include <cstdio>
#include <cstring>

#include "platform/uuid.h"

namespace Calvereth {

namespace {

int hexValue(char8 c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads `count` bytes as hex digit pairs; false when any character is not a hex digit.
bool readHexBytes(const char8* text, int32 count, char8* out)
{
    for (int32 i = 0; i < count; ++i) {
        int hi = hexValue(text[2 * i]);
        int lo = hi < 0 ? -1 : hexValue(text[2 * i + 1]);
        if (lo < 0)
            return false;
        out[i] = static_cast<char8>(hi * 16 + lo);
    }
    return true;
}

void writeHexBytes(const char8* bytes, int32 count, char8* out)
{
    static const char8 digits[] = "0123456789ABCDEF";
    for (int32 i = 0; i < count; ++i) {
        auto b = static_cast<uint8>(bytes[i]);
        out[2 * i] = digits[b >> 4];
        out[2 * i + 1] = digits[b & 0x0F];
    }
}

} // namespace

bool iidEqual(const void* iid1, const void* iid2)
{
    if (!iid1 || !iid2)
        return iid1 == iid2;
    return std::memcmp(iid1, iid2, sizeof(TUID)) == 0;
}

FUID::FUID(const UIDBytes uid) : data{}
{
    if (uid)
        std::memcpy(data, uid, sizeof(TUID));
}

FUID& FUID::operator=(const FUID& other)
{
    std::memmove(data, other.data, sizeof(TUID));
    return *this;
}

bool FUID::generate()
{
    unsigned char bytes[16];
    if (!Platform::createUUID(bytes))
        return false;
    std::memcpy(data, bytes, sizeof(TUID));
    return true;
}

bool FUID::isValid() const
{
    for (char8 c : data)
        if (c != 0)
            return true;
    return false;
}

void FUID::from4Int(uint32 l1, uint32 l2, uint32 l3, uint32 l4)
{
    *this = FUID(l1, l2, l3, l4);
}

void FUID::to4Int(uint32& d1, uint32& d2, uint32& d3, uint32& d4) const
{
    d1 = getLong1();
    d2 = getLong2();
    d3 = getLong3();
    d4 = getLong4();
}

void FUID::copyTo(UIDBytes uid) const
{
    if (uid)
        std::memcpy(uid, data, sizeof(TUID));
}

void FUID::toString(char8* string) const
{
    if (!string)
        return;
    writeHexBytes(data, 16, string);
    string[32] = 0;
}

bool FUID::fromString(const char8* string)
{
    if (!string || !*string || std::strlen(string) != 32)
        return false;
    TUID bytes;
    if (!readHexBytes(string, 16, bytes))
        return false;
    std::memcpy(data, bytes, sizeof(TUID));
    return true;
}

void FUID::toRegistryString(char8* string) const
{
    if (!string)
        return;
    // {bytes 0-3 - 4-5 - 6-7 - 8-9 - 10-15}
    char8* p = string;
    *p++ = '{';
    writeHexBytes(data, 4, p), p += 8;
    *p++ = '-';
    writeHexBytes(data + 4, 2, p), p += 4;
    *p++ = '-';
    writeHexBytes(data + 6, 2, p), p += 4;
    *p++ = '-';
    writeHexBytes(data + 8, 2, p), p += 4;
    *p++ = '-';
    writeHexBytes(data + 10, 6, p), p += 12;
    *p++ = '}';
    *p = 0;
}

bool FUID::fromRegistryString(const char8* string)
{
    if (!string || !*string || std::strlen(string) != 38)
        return false;
    TUID bytes;
    if (!readHexBytes(string + 1, 4, bytes) || !readHexBytes(string + 10, 2, bytes + 4) ||
        !readHexBytes(string + 15, 2, bytes + 6) || !readHexBytes(string + 20, 2, bytes + 8) ||
        !readHexBytes(string + 25, 6, bytes + 10))
        return false;
    std::memcpy(data, bytes, sizeof(TUID));
    return true;
}

void FUID::print(char8* string, int32 style) const
{
    const char8* format;
    switch (style) {
    case kINLINE_UID:
        format = "INLINE_UID (0x%08X, 0x%08X, 0x%08X, 0x%08X)";
        break;
    case kDECLARE_UID:
        format = "DECLARE_UID (0x%08X, 0x%08X, 0x%08X, 0x%08X)";
        break;
    case kFUID:
        format = "FUID (0x%08X, 0x%08X, 0x%08X, 0x%08X)";
        break;
    default:
        format = "DECLARE_CLASS_IID (Interface, 0x%08X, 0x%08X, 0x%08X, 0x%08X)";
        break;
    }
    // The longest form is 84 characters.
    char8 own[128];
    char8* out = string ? string : own;
    std::snprintf(out, 128, format, getLong1(), getLong2(), getLong3(), getLong4());
    if (!string)
        std::printf("%s\n", own);
}

bool FUID::operator==(const FUID& other) const
{
    return std::memcmp(data, other.data, sizeof(TUID)) == 0;
}

bool FUID::operator<(const FUID& other) const
{
    return std::memcmp(data, other.data, sizeof(TUID)) < 0;
}

} // namespace Calvereth
