#include "base/stringobject.h"

namespace Calvereth {

tresult StringObject::queryInterface(const TUID iid, void** obj)
{
    if (obj && iid) {
        if (iidEqual(iid, IStringResult::iid)) {
            addRef();
            *obj = static_cast<IStringResult*>(this);
            return kResultOk;
        }
        if (iidEqual(iid, IString::iid)) {
            addRef();
            *obj = static_cast<IString*>(this);
            return kResultOk;
        }
    }
    return FObject::queryInterface(iid, obj);
}

void StringObject::setText(const char8* text)
{
    setText8(text);
}

void StringObject::setText8(const char8* text)
{
    if (!text) {
        String::resize(0, false);
        return;
    }
    String::assign(text);
}

void StringObject::setText16(const char16* text)
{
    if (!text) {
        String::resize(0, true);
        return;
    }
    String::assign(text);
}

const char8* StringObject::getText8()
{
    return String::text8();
}

const char16* StringObject::getText16()
{
    return String::text16();
}

void StringObject::take(void* s, bool isWide)
{
    if (isWide)
        setText16(static_cast<const char16*>(s));
    else
        setText8(static_cast<const char8*>(s));
}

bool StringObject::isWideString() const
{
    return ConstString::isWideString();
}

} // namespace Calvereth
