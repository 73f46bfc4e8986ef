#pragma once
// The root interface: lookup by 16-byte identifier and reference counting.
#include "base/ftypes.h"
#include "base/fuid.h"

namespace Calvereth {

class FUnknown
{
public:
    // 0 with *obj set and one reference added; kNoInterface with *obj null otherwise.
    virtual tresult queryInterface(const TUID iid, void** obj) = 0;
    virtual uint32 addRef() = 0;
    virtual uint32 release() = 0;

    static const FUID iid;
};

DECLARE_CLASS_IID(FUnknown, 0x00000000, 0x00000000, 0xC0000000, 0x00000046)

// Holds one interface of an object obtained through queryInterface (released on destruction).
template <class I>
class FUnknownPtr
{
public:
    explicit FUnknownPtr(FUnknown* unknown)
    {
        if (unknown && unknown->queryInterface(I::iid, reinterpret_cast<void**>(&ptr)) != kResultOk)
            ptr = nullptr;
    }
    FUnknownPtr(const FUnknownPtr&) = delete;
    FUnknownPtr& operator=(const FUnknownPtr&) = delete;
    ~FUnknownPtr()
    {
        if (ptr)
            ptr->release();
    }
    I* get() const { return ptr; }
    operator I*() const { return ptr; }
    I* operator->() const { return ptr; }

private:
    I* ptr = nullptr;
};

} // namespace Calvereth
