// The controller extended by units and program lists, with changes reported to the host's unit handler.
#pragma once

#include "base/iptr.h"
#include "base/tarray.h"
#include "base/tdictionary.h"
#include "qel/editcontroller.h"
#include "qel/iunitinfo.h"
#include "qel/programlist.h"

namespace Calvereth {
namespace Qel {

class EditControllerEx1 : public EditController, public IUnitInfo
{
public:
    // Makes sure a process-wide update handler exists, through which the lists report their changes.
    EditControllerEx1();
    ~EditControllerEx1() override;

    // Both take over the caller's reference; on false the object has been released.
    bool addUnit(Unit* unit);
    // False when a list with that id is held already.
    bool addProgramList(ProgramList* list);
    // No reference added; null when there is no list with that id.
    ProgramList* getProgramList(int32_t listId) const;
    tresult setProgramName(int32_t listId, int32_t programIndex, const char16_t* name);
    // The selected unit told to the host's unit handler; 1 without one.
    tresult notifyUnitSelection();

    // IUnitInfo
    int32_t getUnitCount() override { return units.count(); }
    tresult getUnitInfo(int32_t unitIndex, UnitInfo& info) override;
    int32_t getProgramListCount() override { return programLists.count(); }
    tresult getProgramListInfo(int32_t listIndex, ProgramListInfo& info) override;
    tresult getProgramName(int32_t listId, int32_t programIndex, char16_t name[128]) override;
    tresult getProgramInfo(int32_t listId, int32_t programIndex, const char* attributeId, char16_t value[128]) override;
    tresult hasProgramPitchNames(int32_t listId, int32_t programIndex) override;
    tresult getProgramPitchName(int32_t listId, int32_t programIndex, int16_t pitch, char16_t name[128]) override;
    int32_t getSelectedUnit() override { return selectedUnit; }
    tresult selectUnit(int32_t unitId) override;
    tresult reservedSlot13() override { return kResultFalse; }
    tresult reservedSlot14() override { return kResultFalse; }

    // A changed program list is reported to the host's unit handler as a change of the whole list.
    void update(FUnknown* changedUnknown, int32 message) override;

    OBJ_METHODS(EditControllerEx1, EditController)
    tresult queryInterface(const TUID iid, void** obj) override;
    uint32_t addRef() override { return FObject::addRef(); }
    uint32_t release() override { return FObject::release(); }

protected:
    TArray<IPtr<Unit>> units;
    TDictionary<int32_t, IPtr<ProgramList>> programLists;
    int32_t selectedUnit = kRootUnitId;
};

} // namespace Qel
} // namespace Calvereth
