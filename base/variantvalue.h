#pragma once
// Tagged value holding a number, a text or an object reference, owning what it holds when
// kOwner is set.
#include "base/ftypes.h"

namespace Calvereth {

class FUnknown;

class VariantValue
{
public:
    enum : uint16
    {
        kEmpty = 0,
        kInteger = 1,
        kFloat = 2,
        kString8 = 4,
        kObject = 8,
        kOwner = 16,
        kString16 = 32
    };

    VariantValue() : intValue(0) {}
    VariantValue(int64 v) : type(kInteger), intValue(v) {}
    VariantValue(double v) : type(kFloat), floatValue(v) {}
    // Texts and objects given here are referred to, not owned.
    VariantValue(const char8* text) : type(kString8), string8(text) {}
    VariantValue(const char16* text) : type(kString16), string16(text) {}
    VariantValue(FUnknown* object) : type(kObject), object(object) {}
    VariantValue(const VariantValue& other) : intValue(0) { copyFrom(other); }
    VariantValue& operator=(const VariantValue& other)
    {
        if (this != &other) {
            empty();
            copyFrom(other);
        }
        return *this;
    }
    ~VariantValue() { empty(); }

    // Frees an owned text or releases an owned object; then type and payload are zero.
    void empty();

    void setInt(int64 v) { empty(), type = kInteger, intValue = v; }
    void setFloat(double v) { empty(), type = kFloat, floatValue = v; }
    void setString8(const char8* text) { empty(), type = kString8, string8 = text; }
    void setString16(const char16* text) { empty(), type = kString16, string16 = text; }
    void setObject(FUnknown* obj) { empty(), type = kObject, object = obj; }
    // Takes over a text allocated with malloc.
    void takeString8(char8* text) { empty(), type = kString8 | kOwner, string8 = text; }
    void takeString16(char16* text) { empty(), type = kString16 | kOwner, string16 = text; }
    // Holds the object with a reference of its own.
    void setOwnedObject(FUnknown* obj);

    uint16 getType() const { return static_cast<uint16>(type & ~kOwner); }
    uint16 getTypeFlags() const { return type; }
    bool isOwner() const { return (type & kOwner) != 0; }
    int64 getInt() const { return getType() == kInteger ? intValue : 0; }
    double getFloat() const { return getType() == kFloat ? floatValue : 0.0; }
    const char8* getString8() const { return getType() == kString8 ? string8 : nullptr; }
    const char16* getString16() const { return getType() == kString16 ? string16 : nullptr; }
    FUnknown* getObject() const { return getType() == kObject ? object : nullptr; }

private:
    void copyFrom(const VariantValue& other);

    uint16 type = kEmpty;
    union
    {
        int64 intValue;
        double floatValue;
        const char8* string8;
        const char16* string16;
        FUnknown* object;
    };
};

} // namespace Calvereth
