#include "base/variantvalue.h"

#include <cstdlib>
#include <cstring>

#include "base/funknown.h"

namespace Calvereth {

void VariantValue::empty()
{
    if (type & kOwner) {
        uint16 t = getType();
        if (t == kString8 && string8)
            std::free(const_cast<char8*>(string8));
        else if (t == kString16 && string16)
            std::free(const_cast<char16*>(string16));
        else if (t == kObject && object)
            object->release();
    }
    type = kEmpty;
    intValue = 0;
}

void VariantValue::setOwnedObject(FUnknown* obj)
{
    empty();
    type = kObject;
    object = obj;
    if (obj) {
        obj->addRef();
        type |= kOwner;
    }
}

void VariantValue::copyFrom(const VariantValue& other)
{
    type = other.type;
    intValue = other.intValue; // numbers bit for bit; pointers replaced below
    uint16 t = other.getType();
    if (t == kString8 && other.string8) {
        size_t size = std::strlen(other.string8) + 1;
        auto* copy = static_cast<char8*>(std::malloc(size));
        if (copy) {
            std::memcpy(copy, other.string8, size);
            string8 = copy;
            type = kString8 | kOwner;
        } else {
            type = kEmpty, intValue = 0;
        }
    } else if (t == kString16 && other.string16) {
        size_t units = 0;
        while (other.string16[units])
            ++units;
        auto* copy = static_cast<char16*>(std::malloc((units + 1) * sizeof(char16)));
        if (copy) {
            std::memcpy(copy, other.string16, (units + 1) * sizeof(char16));
            string16 = copy;
            type = kString16 | kOwner;
        } else {
            type = kEmpty, intValue = 0;
        }
    } else if (t == kObject && other.object) {
        other.object->addRef();
        type = kObject | kOwner;
    }
}

} // namespace Calvereth
