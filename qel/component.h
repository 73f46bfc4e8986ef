// The processor-side component: controller class, buses in four lists, activation of each bus.
#pragma once

#include "base/fuid.h"
#include "qel/bus.h"
#include "qel/componentbase.h"
#include "qel/icomponent.h"

namespace Calvereth {
namespace Qel {

class Component : public ComponentBase, public IComponent
{
public:
    Component();
    ~Component() override;

    // IPluginBase
    tresult initialize(FUnknown* context) override;
    tresult terminate() override;

    // IComponent
    tresult getControllerClassId(TUID classId) override;
    tresult reservedSlot6(int32_t) override { return kNotImplemented; }
    int32_t getBusCount(MediaType type, BusDirection dir) override;
    tresult getBusInfo(MediaType type, BusDirection dir, int32_t index, BusInfo& info) override;
    tresult reservedSlot9(void*, void*) override { return kNotImplemented; }
    tresult activateBus(MediaType type, BusDirection dir, int32_t index, bool state) override;
    tresult setActive(bool state) override;
    tresult setState(IBStream* state) override;
    tresult getState(IBStream* state) override;

    // Audio or event list of a direction (0 input, anything else output); null for another media type.
    BusList* getBusList(MediaType type, BusDirection dir);
    void setControllerClass(const TUID cid) { controllerClass = FUID(cid); }

    tresult removeAudioBusses();
    tresult removeEventBusses();
    tresult removeAllBusses();
    tresult renameBus(MediaType type, BusDirection dir, int32_t index, const char16_t* newName);

    OBJ_METHODS(Component, ComponentBase)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32_t addRef() override { return FObject::addRef(); }
    uint32_t release() override { return FObject::release(); }

protected:
    FUID controllerClass;
    BusList audioInputs;
    BusList audioOutputs;
    BusList eventInputs;
    BusList eventOutputs;
};

} // namespace Qel
} // namespace Calvereth
