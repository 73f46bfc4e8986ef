#include "pluginset/common/qel/views/colorgroups.h"

#include "pluginset/common/qel/views/frameservices.h"

namespace Calvereth {

const uint32 colorBlack = 0xFF000000;
const uint32 colorWhite = 0xFFFFFFFF;
const uint32 colorGrey = 0xFF7F7F7F;
const uint32 colorRed = 0xFFFF0000;
const uint32 colorGreen = 0xFF00FF00;
const uint32 colorBlue = 0xFF0000FF;
const uint32 colorYellow = 0xFFFFFF00;
const uint32 colorMagenta = 0xFFFF00FF;
const uint32 colorCyan = 0xFF00FFFF;

PlugColorGroupInformation::~PlugColorGroupInformation()
{
    for (int32 i = 0; i < transforms.count(); ++i)
        if (IColorTransform* t = transforms.at(i))
            t->release();
}

tresult PlugColorGroupInformation::applyColorGroup(FUnknown*)
{
    return kResultFalse;
}

tresult PlugColorGroupInformation::getTransformCount(int32& count)
{
    count = transforms.count();
    return count != 0 ? kResultOk : kResultFalse;
}

tresult PlugColorGroupInformation::getTransform(int32 index, IColorTransform** transform)
{
    IColorTransform* t = transforms.at(index); // null out of range
    if (transform)
        *transform = t;
    return t ? kResultOk : kResultFalse;
}

void PlugColorGroupInformation::addTransform(IColorTransform* transform)
{
    if (transform && !transforms.add(transform))
        transform->release();
}

tresult PlugColorGroupInformation::queryInterface(const TUID iid, void** obj)
{
    if (obj && iidEqual(iid, IColorGroupInformation::iid)) {
        addRef();
        *obj = static_cast<IColorGroupInformation*>(this);
        return kResultOk;
    }
    return FObject::queryInterface(iid, obj);
}

tresult PlugColorTransform::queryInterface(const TUID iid, void** obj)
{
    if (obj && iidEqual(iid, IColorTransform::iid)) {
        addRef();
        *obj = static_cast<IColorTransform*>(this);
        return kResultOk;
    }
    return FObject::queryInterface(iid, obj);
}

PlugColorGroupInformation* getDefaultColorGroupInformation()
{
    static struct Holder
    {
        PlugColorGroupInformation* object = new PlugColorGroupInformation;
        ~Holder() { object->release(); }
    } holder;
    return holder.object;
}

void setColorGroupInformation(FUnknown* target)
{
    if (!target)
        return;
    IColorGroupInformation* group = Frame::getHostService<IColorGroupInformation>();
    if (!group) {
        group = getDefaultColorGroupInformation();
        group->addRef();
    }
    IColorGroupInformation* receiver = nullptr;
    if (target->queryInterface(IColorGroupInformation::iid, reinterpret_cast<void**>(&receiver)) == kResultOk &&
        receiver) {
        receiver->applyColorGroup(group);
        receiver->release();
    }
    group->release();
}

} // namespace Calvereth
