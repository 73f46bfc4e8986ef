// Base of every view the plug-in hands to the host: its rectangle, the parent window and the host's frame.
#pragma once

#include "base/fobject.h"
#include "qel/iplugview.h"

namespace Calvereth {

class CPluginView : public FObject, public IPlugView
{
public:
    explicit CPluginView(const ViewRect* rect = nullptr);
    ~CPluginView() override = default;

    virtual void attachedToParent() {}
    virtual void removedFromParent() {}

    // IPlugView
    tresult reservedSlot3(const char*) override { return kNotImplemented; }
    tresult attached(void* parent, const char* type) override;
    tresult removed() override;
    tresult reservedSlot6(float) override { return kResultFalse; }
    tresult reservedSlot7(char16_t, int16_t, int16_t) override { return kResultFalse; }
    tresult reservedSlot8(char16_t, int16_t, int16_t) override { return kResultFalse; }
    tresult getSize(ViewRect* size) override;
    tresult onSize(ViewRect* newSize) override;
    tresult reservedSlot11(bool) override { return kResultFalse; }
    tresult setFrame(void* frame) override;
    tresult reservedSlot13() override { return kResultFalse; }
    tresult reservedSlot14(ViewRect*) override { return kResultFalse; }

    const ViewRect& getRect() const { return rect; }
    void* getParent() const { return parent; }
    void* getFrame() const { return frame; }

    OBJ_METHODS(CPluginView, FObject)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return FObject::addRef(); }
    uint32 release() override { return FObject::release(); }

protected:
    ViewRect rect;
    void* parent = nullptr;
    void* frame = nullptr;
};

} // namespace Calvereth
