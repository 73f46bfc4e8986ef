#pragma once
// 16-byte identifiers of interfaces and classes, with their text forms.
#include "base/ftypes.h"

namespace Calvereth {

class FUID
{
public:
    enum UIDPrintStyle
    {
        kINLINE_UID = 0,
        kDECLARE_UID = 1,
        kFUID = 2,
        kCLASS_UID = 3
    };

    constexpr FUID() : data{} {}
    // A null pointer gives the invalid (all-zero) identifier.
    explicit FUID(const UIDBytes uid);
    // Each word is stored most significant byte first, whatever the processor's byte order.
    constexpr FUID(uint32 l1, uint32 l2, uint32 l3, uint32 l4) : data{}
    {
        const uint32 words[4] = {l1, l2, l3, l4};
        for (int w = 0; w < 4; ++w)
            for (int b = 0; b < 4; ++b)
                data[w * 4 + b] = static_cast<char8>(static_cast<uint8>(words[w] >> (24 - 8 * b)));
    }
    constexpr FUID(const FUID& other) : data{}
    {
        for (int i = 0; i < 16; ++i)
            data[i] = other.data[i];
    }
    virtual ~FUID() {}

    FUID& operator=(const FUID& other);

    bool generate();
    bool isValid() const;

    void from4Int(uint32 l1, uint32 l2, uint32 l3, uint32 l4);
    void to4Int(uint32& d1, uint32& d2, uint32& d3, uint32& d4) const;
    uint32 getLong1() const { return word(0); }
    uint32 getLong2() const { return word(1); }
    uint32 getLong3() const { return word(2); }
    uint32 getLong4() const { return word(3); }

    void copyTo(UIDBytes uid) const;

    // 32 upper-case hex digits; the buffer holds at least 33 bytes.
    void toString(char8* string) const;
    // Exactly 32 hex digits; anything else answers false and leaves the bytes unchanged.
    bool fromString(const char8* string);
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; the buffer holds at least 39 bytes.
    void toRegistryString(char8* string) const;
    bool fromRegistryString(const char8* string);
    // The four words in one of the UIDPrintStyle forms; a null buffer prints to standard output.
    void print(char8* string = nullptr, int32 style = kINLINE_UID) const;

    const char8* toTUID() const { return data; }
    operator const char8*() const { return data; }

    bool operator==(const FUID& other) const;
    bool operator!=(const FUID& other) const { return !(*this == other); }
    bool operator<(const FUID& other) const;

protected:
    uint32 word(int index) const
    {
        const auto* p = reinterpret_cast<const uint8*>(data) + index * 4;
        return (uint32(p[0]) << 24) | (uint32(p[1]) << 16) | (uint32(p[2]) << 8) | uint32(p[3]);
    }

    TUID data;
};

// Compares two 16-byte identifiers.
bool iidEqual(const void* iid1, const void* iid2);

} // namespace Calvereth

// Defines the identifier of an interface declared with `static const FUID iid;`.
#define DECLARE_CLASS_IID(ClassName, l1, l2, l3, l4) inline const ::Calvereth::FUID ClassName::iid(l1, l2, l3, l4);
