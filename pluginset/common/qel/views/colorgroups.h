// Colour constants, and the colour-group information handed to the host's skin objects.
#pragma once

#include "base/fobject.h"
#include "base/tarray.h"
#include "pluginset/common/qel/views/frameinterfaces.h"

namespace Calvereth {

extern const uint32 colorBlack;
extern const uint32 colorWhite;
extern const uint32 colorGrey;
extern const uint32 colorRed;
extern const uint32 colorGreen;
extern const uint32 colorBlue;
extern const uint32 colorYellow;
extern const uint32 colorMagenta;
extern const uint32 colorCyan;

class PlugColorGroupInformation : public FObject, public IColorGroupInformation
{
public:
    PlugColorGroupInformation() = default;
    ~PlugColorGroupInformation() override;

    tresult applyColorGroup(FUnknown* group) override;
    tresult getTransformCount(int32& count) override;
    tresult getTransform(int32 index, IColorTransform** transform) override;

    // Takes over the caller's reference.
    void addTransform(IColorTransform* transform);

    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return FObject::addRef(); }
    uint32 release() override { return FObject::release(); }

private:
    TArray<IColorTransform*> transforms{0, 10};
};

class PlugColorTransform : public FObject, public IColorTransform
{
public:
    PlugColorTransform(int32 id, int32 p1, int32 p2, int32 p3) : id(id), p1(p1), p2(p2), p3(p3) {}

    int32 getTransformId() override { return id; }
    void colorTransformSlot4() override {}
    void colorTransformSlot5() override {}
    void colorTransformSlot6() override {}
    int32 getParameter1() override { return p1; }
    int32 getParameter2() override { return p2; }
    int32 getParameter3() override { return p3; }
    int32 colorTransformQuery10() override { return 0; }
    int32 colorTransformQuery11() override { return 0; }
    int32 colorTransformQuery12() override { return 0; }
    int32 colorTransformQuery13() override { return 0; }
    int32 colorTransformQuery14() override { return 0; }
    int32 colorTransformQuery15() override { return 0; }
    TBool isActive() override { return getParameter1() != 0 || getParameter2() != 0 || getParameter3() != 0; }

    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override { return FObject::addRef(); }
    uint32 release() override { return FObject::release(); }

private:
    int32 id, p1, p2, p3;
};

// Hands the host's colour groups, or a default without transforms, to a skin object.
void setColorGroupInformation(FUnknown* target);
// The process-wide default object (no reference added).
PlugColorGroupInformation* getDefaultColorGroupInformation();

} // namespace Calvereth
