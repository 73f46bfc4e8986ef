#include "qel/editcontrollerex.h"

#include "base/updatehandler.h"

namespace Calvereth {
namespace Qel {
namespace {

void ensureUpdateHandler()
{
    static FObject* handler = nullptr;
    if (FObject::getUpdateHandler())
        return;
    if (!handler) {
        handler = new (std::nothrow) UpdateHandler; // installs itself while none is set
        if (handler)
            FObject::registerStaticObject(&handler);
    } else {
        FObject::setUpdateHandler(static_cast<UpdateHandler*>(handler));
    }
}

} // namespace

EditControllerEx1::EditControllerEx1()
{
    ensureUpdateHandler();
}

EditControllerEx1::~EditControllerEx1()
{
    for (int32_t i = 0; i < programLists.count(); ++i)
        programLists.at(i).value->removeDependent(this);
    programLists.removeAll();
    units.removeAll();
}

tresult EditControllerEx1::queryInterface(const TUID iid, void** obj)
{
    if (obj && iidEqual(iid, IUnitInfo::iid)) {
        addRef();
        *obj = static_cast<IUnitInfo*>(this);
        return kResultOk;
    }
    return EditController::queryInterface(iid, obj);
}

bool EditControllerEx1::addUnit(Unit* unit)
{
    if (!unit)
        return false;
    return units.add(IPtr<Unit>(unit, false));
}

bool EditControllerEx1::addProgramList(ProgramList* list)
{
    if (!list)
        return false;
    IPtr<ProgramList> held(list, false);
    if (programLists.contains(list->getID()) || !programLists.add(list->getID(), held))
        return false;
    list->addDependent(this);
    return true;
}

ProgramList* EditControllerEx1::getProgramList(int32_t listId) const
{
    return programLists.find(listId).get();
}

tresult EditControllerEx1::setProgramName(int32_t listId, int32_t programIndex, const char16_t* name)
{
    ProgramList* list = getProgramList(listId);
    return list ? list->setProgramName(programIndex, name) : kResultFalse;
}

tresult EditControllerEx1::notifyUnitSelection()
{
    FUnknownPtr<IUnitHandler> handler(componentHandler);
    return handler ? handler->notifyUnitSelection(selectedUnit) : kResultFalse;
}

tresult EditControllerEx1::getUnitInfo(int32_t unitIndex, UnitInfo& info)
{
    Unit* unit = units.at(unitIndex).get();
    if (!unit)
        return kResultFalse;
    info = unit->getInfo();
    return kResultOk;
}

tresult EditControllerEx1::getProgramListInfo(int32_t listIndex, ProgramListInfo& info)
{
    ProgramList* list = programLists.at(listIndex).value.get();
    if (!list)
        return kResultFalse;
    info = list->getInfo();
    return kResultOk;
}

tresult EditControllerEx1::getProgramName(int32_t listId, int32_t programIndex, char16_t name[128])
{
    ProgramList* list = getProgramList(listId);
    return list ? list->getProgramName(programIndex, name) : kResultFalse;
}

tresult EditControllerEx1::getProgramInfo(int32_t listId, int32_t programIndex, const char* attributeId,
                                          char16_t value[128])
{
    ProgramList* list = getProgramList(listId);
    return list ? list->getProgramInfo(programIndex, attributeId, value) : kResultFalse;
}

tresult EditControllerEx1::hasProgramPitchNames(int32_t listId, int32_t programIndex)
{
    ProgramList* list = getProgramList(listId);
    return list ? list->hasPitchNames(programIndex) : kResultFalse;
}

tresult EditControllerEx1::getProgramPitchName(int32_t listId, int32_t programIndex, int16_t pitch, char16_t name[128])
{
    ProgramList* list = getProgramList(listId);
    return list ? list->getPitchName(programIndex, pitch, name) : kResultFalse;
}

tresult EditControllerEx1::selectUnit(int32_t unitId)
{
    selectedUnit = unitId;
    return kResultOk;
}

void EditControllerEx1::update(FUnknown* changedUnknown, int32)
{
    ProgramList* list = FCast<ProgramList>(changedUnknown);
    if (!list || !componentHandler)
        return;
    FUnknownPtr<IUnitHandler> handler(componentHandler);
    if (handler)
        handler->notifyProgramListChange(list->getID(), -1);
}

} // namespace Qel
} // namespace Calvereth
