#pragma once
// Interfaces through which a text crosses component borders.
#include "base/funknown.h"

namespace Calvereth {

// Receives a text.
class IStringResult : public FUnknown
{
public:
    virtual void setText(const char8* text) = 0;

    static const FUID iid;
};

DECLARE_CLASS_IID(IStringResult, 0x550798BC, 0x872049DB, 0x84920A15, 0x3B50B7A8)

// Sets and gets a text in either width.
class IString : public FUnknown
{
public:
    virtual void setText8(const char8* text) = 0;
    virtual void setText16(const char16* text) = 0;
    virtual const char8* getText8() = 0;
    virtual const char16* getText16() = 0;
    // Copies the text (16-bit when isWide); the caller keeps its buffer.
    virtual void take(void* s, bool isWide) = 0;
    virtual bool isWideString() const = 0;

    static const FUID iid;
};

DECLARE_CLASS_IID(IString, 0xF99DB7A3, 0x0FC14821, 0x800B0CF9, 0x8E348EDF)

} // namespace Calvereth
