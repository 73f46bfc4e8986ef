// Units and program lists answered from a static unit table.
#pragma once

#include "pluginset/common/qel/parameterinfoaccessor.h"
#include "qel/iunitinfo.h"

namespace Calvereth {

class CUnitInfo : public Qel::IUnitInfo
{
public:
    CUnitInfo() = default;
    CUnitInfo(int32 unitCount, const Param::UnitRecord* units) : unitCount(unitCount), units(units) {}
    virtual ~CUnitInfo() = default;

    // Used only when the object stands alone; as a part of a controller the controller's count rules.
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32 addRef() override;
    uint32 release() override;

    int32 getUnitCount() override { return unitCount; }
    tresult getUnitInfo(int32 unitIndex, Qel::UnitInfo& info) override;
    int32 getProgramListCount() override { return 0; }
    tresult getProgramListInfo(int32, Qel::ProgramListInfo&) override { return kNotImplemented; }
    tresult getProgramName(int32, int32, char16_t[128]) override { return kNotImplemented; }
    tresult getProgramInfo(int32, int32, const char*, char16_t[128]) override { return kNotImplemented; }
    tresult hasProgramPitchNames(int32, int32) override { return kNotImplemented; }
    tresult getProgramPitchName(int32, int32, int16_t, char16_t[128]) override { return kNotImplemented; }
    // The root unit is the one selected: there is no other to select.
    int32 getSelectedUnit() override { return Qel::kRootUnitId; }
    tresult selectUnit(int32) override { return kNotImplemented; }
    tresult reservedSlot13() override { return kNotImplemented; }
    tresult reservedSlot14() override { return kNotImplemented; }

private:
    int32 refCount = 1;
    int32 unitCount = 0;
    const Param::UnitRecord* units = nullptr;
};

} // namespace Calvereth
