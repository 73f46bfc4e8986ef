// The view a plug-in hands to the host, and its rectangle.
#pragma once

#include "qel/qeltypes.h"

namespace Calvereth {

struct ViewRect
{
    int32_t left{};
    int32_t top{};
    int32_t right{};
    int32_t bottom{};

    ViewRect() = default;
    ViewRect(int32_t l, int32_t t, int32_t r, int32_t b) : left(l), top(t), right(r), bottom(b) {}
    int32_t getWidth() const { return right - left; }
    int32_t getHeight() const { return bottom - top; }
};
static_assert(sizeof(ViewRect) == 16 && offsetof(ViewRect, right) == 8 && offsetof(ViewRect, bottom) == 12);

class IPlugView : public FUnknown
{
public:
    virtual int32_t reservedSlot3(const char* type) = 0;           // 3: answers 3
    virtual int32_t attached(void* parent, const char* type) = 0;  // 4
    virtual int32_t removed() = 0;                                 // 5
    virtual int32_t reservedSlot6(float) = 0;                      // 6: answers 1
    virtual int32_t reservedSlot7(char16_t, int16_t, int16_t) = 0; // 7: answers 1
    virtual int32_t reservedSlot8(char16_t, int16_t, int16_t) = 0; // 8: answers 1
    virtual int32_t getSize(ViewRect* size) = 0;                   // 9
    virtual int32_t onSize(ViewRect* newSize) = 0;                 // 10
    virtual int32_t reservedSlot11(bool) = 0;                      // 11: answers 1
    virtual int32_t setFrame(void* frame) = 0;                     // 12
    virtual int32_t reservedSlot13() = 0;                          // 13: answers 1
    virtual int32_t reservedSlot14(ViewRect*) = 0;                 // 14: answers 1

    static const FUID iid;
};

DECLARE_CLASS_IID(IPlugView, 0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29)

} // namespace Calvereth
