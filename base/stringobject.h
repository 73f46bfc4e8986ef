#pragma once
// Reference-counted text object handed across component borders.
#include "base/fobject.h"
#include "base/fstring.h"
#include "base/istring.h"

namespace Calvereth {

class StringObject : public FObject, public String, public IStringResult, public IString
{
public:
    StringObject() = default;
    ~StringObject() override = default;

    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return FObject::addRef(); }
    uint32 release() override { return FObject::release(); }

    OBJ_METHODS(StringObject, FObject)

    // Every setter copies the text; a null text gives an empty text of the setter's width.
    void setText(const char8* text) override;
    void setText8(const char8* text) override;
    void setText16(const char16* text) override;
    const char8* getText8() override;
    const char16* getText16() override;
    void take(void* s, bool isWide) override;
    bool isWideString() const override;
};

} // namespace Calvereth
