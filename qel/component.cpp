#include "qel/component.h"

namespace Calvereth {
namespace Qel {

Component::Component()
: audioInputs(kAudio, kInput), audioOutputs(kAudio, kOutput), eventInputs(kEvent, kInput), eventOutputs(kEvent, kOutput)
{}

Component::~Component() = default;

tresult Component::queryInterface(const TUID iid, void** obj)
{
    if (obj && iidEqual(iid, IComponent::iid)) {
        addRef();
        *obj = static_cast<IComponent*>(this);
        return kResultOk;
    }
    return ComponentBase::queryInterface(iid, obj);
}

tresult Component::initialize(FUnknown* context)
{
    return ComponentBase::initialize(context);
}

tresult Component::terminate()
{
    removeAllBusses();
    return ComponentBase::terminate();
}

BusList* Component::getBusList(MediaType type, BusDirection dir)
{
    if (type == kAudio)
        return dir == kInput ? &audioInputs : &audioOutputs;
    if (type == kEvent)
        return dir == kInput ? &eventInputs : &eventOutputs;
    return nullptr;
}

tresult Component::getControllerClassId(TUID classId)
{
    if (!controllerClass.isValid())
        return kResultFalse;
    if (!classId)
        return kInvalidArgument;
    controllerClass.copyTo(classId);
    return kResultOk;
}

int32_t Component::getBusCount(MediaType type, BusDirection dir)
{
    BusList* list = getBusList(type, dir);
    return list ? list->count() : 0;
}

tresult Component::getBusInfo(MediaType type, BusDirection dir, int32_t index, BusInfo& info)
{
    BusList* list = getBusList(type, dir);
    Bus* bus = list ? list->at(index) : nullptr;
    if (!bus)
        return kResultFalse;
    info.mediaType = type;
    info.direction = dir;
    return bus->getInfo(info) ? kResultOk : kResultFalse;
}

tresult Component::activateBus(MediaType type, BusDirection dir, int32_t index, bool state)
{
    BusList* list = getBusList(type, dir);
    Bus* bus = list ? list->at(index) : nullptr;
    if (!bus)
        return kResultFalse;
    bus->setActive(state);
    return kResultOk;
}

tresult Component::setActive(bool)
{
    return kResultOk;
}

tresult Component::setState(IBStream*)
{
    return kNotImplemented;
}

tresult Component::getState(IBStream*)
{
    return kNotImplemented;
}

tresult Component::removeAudioBusses()
{
    audioInputs.removeAll();
    audioOutputs.removeAll();
    return kResultOk;
}

tresult Component::removeEventBusses()
{
    eventInputs.removeAll();
    eventOutputs.removeAll();
    return kResultOk;
}

tresult Component::removeAllBusses()
{
    removeAudioBusses();
    removeEventBusses();
    return kResultOk;
}

tresult Component::renameBus(MediaType type, BusDirection dir, int32_t index, const char16_t* newName)
{
    BusList* list = getBusList(type, dir);
    Bus* bus = list ? list->at(index) : nullptr;
    if (!bus)
        return kResultFalse;
    bus->setName(newName);
    return kResultOk;
}

} // namespace Qel
} // namespace Calvereth
