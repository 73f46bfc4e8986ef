#include "pluginset/common/qel/unitinfo.h"

#include "base/atomic.h"

namespace Calvereth {

tresult CUnitInfo::queryInterface(const TUID iid, void** obj)
{
    if (!obj)
        return kInvalidArgument;
    if (iidEqual(iid, Qel::IUnitInfo::iid) || iidEqual(iid, FUnknown::iid)) {
        addRef();
        *obj = static_cast<Qel::IUnitInfo*>(this);
        return kResultOk;
    }
    *obj = nullptr;
    return kNoInterface;
}

uint32 CUnitInfo::addRef()
{
    return static_cast<uint32>(atomicAdd(&refCount, 1));
}

uint32 CUnitInfo::release()
{
    uint32 n = static_cast<uint32>(atomicAdd(&refCount, -1));
    if (n == 0) {
        delete this;
        return 0;
    }
    return n;
}

tresult CUnitInfo::getUnitInfo(int32 unitIndex, Qel::UnitInfo& info)
{
    if (!units || unitIndex < 0 || unitIndex >= unitCount)
        return kResultFalse;
    const Param::UnitRecord& u = units[unitIndex];
    info.id = u.id;
    info.parentUnitId = u.parentId;
    info.programListId = u.programListId;
    int32 i = 0;
    for (; i < 127 && u.name[i]; ++i)
        info.name[i] = static_cast<unsigned char>(u.name[i]);
    info.name[i] = 0;
    return kResultOk;
}

} // namespace Calvereth
