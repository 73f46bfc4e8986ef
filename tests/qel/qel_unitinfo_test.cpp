// Units, program lists and pitch names of the extended controller, called through the IUnitInfo table
// as a host calls them, and the changes it reports to the host's unit handler.
#include <gtest/gtest.h>

#include <string>

#include "base/iptr.h"
#include "qel/editcontrollerex.h"
#include "qel/editorview.h"
#include "qel_mocks.h"

using namespace qeltest;

namespace {

struct UnitController : EditControllerEx1
{
    ProgramListWithPitchNames* presets = new ProgramListWithPitchNames(u"Presets", 7, 1);
    int hooks = 0; // attached 1, removed 10, destroyed 100
    UnitController()
    {
        addUnit(new Unit(u"Root", kRootUnitId, kNoParentUnitId));
        addUnit(new Unit(u"Synth", 1, kRootUnitId, 7));
        presets->addProgram(u"Init");
        presets->addProgram(u"Bass & Lead");
        presets->setProgramInfo(0, "MediaType", u"Audio");
        addProgramList(presets);
    }
    void editorAttached(IPlugView*) override { hooks += 1; }
    void editorRemoved(IPlugView*) override { hooks += 10; }
    void editorDestroyed(IPlugView*) override { hooks += 100; }

    IUnitInfo* u() { return this; }
    // A text-answering slot (7 program name, 8 program attribute, 10 pitch name) as the host calls it.
    template <class... A>
    std::u16string text(int slot, tresult expected, A... args)
    {
        char16_t out[128] = u"unchanged";
        EXPECT_EQ((callSlot<tresult, A..., char16_t*>(u(), slot, args..., out)), expected);
        return out;
    }
};

TEST(QelUnitInfo, UnitsAndProgramListsThroughTheTable)
{
    UnitController c;
    void* obj = nullptr;
    ASSERT_EQ(c.queryInterface(IUnitInfo::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(c.u()));
    EXPECT_EQ((callSlot<uint32_t>(obj, 2)), 1u);

    EXPECT_EQ((callSlot<int32_t>(c.u(), 3)), 2);
    UnitInfo unit;
    EXPECT_EQ((callSlot<tresult, int32_t, UnitInfo*>(c.u(), 4, 1, &unit)), kResultOk);
    EXPECT_EQ(unit.id, 1);
    EXPECT_EQ(unit.parentUnitId, kRootUnitId);
    EXPECT_EQ(unit.programListId, 7);
    EXPECT_EQ(std::u16string(unit.name), u"Synth");
    for (int32_t index : {2, -1})
        EXPECT_EQ((callSlot<tresult, int32_t, UnitInfo*>(c.u(), 4, index, &unit)), kResultFalse);

    EXPECT_EQ((callSlot<int32_t>(c.u(), 5)), 1);
    ProgramListInfo list;
    EXPECT_EQ((callSlot<tresult, int32_t, ProgramListInfo*>(c.u(), 6, 0, &list)), kResultOk);
    EXPECT_EQ(list.id, 7);
    EXPECT_EQ(list.programCount, 2);
    EXPECT_EQ(std::u16string(list.name), u"Presets");
    EXPECT_EQ((callSlot<tresult, int32_t, ProgramListInfo*>(c.u(), 6, 1, &list)), kResultFalse);

    EXPECT_EQ(c.text(7, kResultOk, 7, 1), u"Bass & Lead");
    EXPECT_EQ(c.text(7, kResultFalse, 8, 0), u"unchanged"); // no such list
    EXPECT_EQ(c.text(8, kResultOk, 7, 0, "MediaType"), u"Audio");
    EXPECT_EQ(c.text(8, kResultFalse, 7, 1, "MediaType"), u"unchanged");

    EXPECT_EQ((callSlot<tresult, int32_t, int32_t>(c.u(), 9, 7, 0)), kResultFalse);
    EXPECT_TRUE(c.presets->setPitchName(0, 60, u"C3"));
    EXPECT_EQ((callSlot<tresult, int32_t, int32_t>(c.u(), 9, 7, 0)), kResultOk);
    EXPECT_EQ(c.text(10, kResultOk, 7, 0, int16_t(60)), u"C3");
    EXPECT_EQ(c.text(10, kResultFalse, 7, 0, int16_t(61)), u"unchanged");
    EXPECT_TRUE(c.presets->removePitchName(0, 60));
    EXPECT_FALSE(c.presets->removePitchName(0, 60));

    EXPECT_EQ((callSlot<int32_t>(c.u(), 11)), kRootUnitId);
    EXPECT_EQ((callSlot<tresult, int32_t>(c.u(), 12, 1)), kResultOk);
    EXPECT_EQ((callSlot<int32_t>(c.u(), 11)), 1);
    EXPECT_EQ((callSlot<tresult>(c.u(), 13)), kResultFalse);
    EXPECT_EQ((callSlot<tresult>(c.u(), 14)), kResultFalse);

    // The list as a parameter: one string per program, made once.
    StringListParameter* p = c.presets->getParameter();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(c.presets->getParameter(), p);
    EXPECT_EQ(p->getInfo().id + p->getInfo().flags + p->getInfo().unitId, 7u + 32777 + 1);
    char16_t name[128];
    p->toString(1.0, name);
    EXPECT_EQ(std::u16string(name), u"Bass & Lead");
}

TEST(QelUnitInfo, BadProgramIndicesAreRefused)
{
    UnitController c;
    for (int32_t index : {-1, 2, INT32_MIN}) {
        EXPECT_EQ(c.setProgramName(7, index, u"x"), kResultFalse);
        EXPECT_EQ(c.text(8, kResultFalse, 7, index, "MediaType"), u"unchanged");
        EXPECT_FALSE(c.presets->setProgramInfo(index, "MediaType", u"x"));
        EXPECT_FALSE(c.presets->setPitchName(index, 60, u"x"));
        EXPECT_EQ((callSlot<tresult, int32_t, int32_t>(c.u(), 9, 7, index)), kResultFalse);
        EXPECT_EQ(c.text(10, kResultFalse, 7, index, int16_t(60)), u"unchanged");
    }
    EXPECT_EQ(c.text(7, kResultFalse, 7, 2), u"unchanged");
    EXPECT_EQ(c.text(7, kResultOk, 7, -1), u""); // a negative index reads as an empty name
    EXPECT_EQ(c.setProgramName(7, 0, u"Pad"), kResultOk);
    EXPECT_EQ(c.text(7, kResultOk, 7, 0), u"Pad");
    EXPECT_EQ(c.setProgramName(9, 0, u"Pad"), kResultFalse);

    // A second list with a held id is refused and released.
    IPtr<ProgramList> twin(new ProgramList(u"Twin", 7, 0), false);
    twin->addRef();
    EXPECT_FALSE(c.addProgramList(twin));
    EXPECT_EQ(twin->getRefCount(), 1);
    // A copy takes the programs and their attributes.
    IPtr<ProgramList> copy(new ProgramList(*c.presets), false);
    EXPECT_EQ(copy->getCount(), 2);
    char16_t value[128];
    EXPECT_EQ(copy->getProgramInfo(0, "MediaType", value), kResultOk);
    EXPECT_EQ(std::u16string(value), u"Audio");
    // A pitch-name list's copy takes its pitch names too.
    EXPECT_TRUE(c.presets->setPitchName(1, 62, u"D3"));
    IPtr<ProgramListWithPitchNames> pitched(new ProgramListWithPitchNames(*c.presets), false);
    EXPECT_EQ(pitched->getCount(), 2);
    EXPECT_EQ(pitched->getProgramInfo(0, "MediaType", value), kResultOk);
    EXPECT_EQ(pitched->getPitchName(1, 62, value), kResultOk);
    EXPECT_EQ(std::u16string(value), u"D3");
    EXPECT_EQ(pitched->hasPitchNames(0), kResultFalse);
}

TEST(QelUnitInfo, ChangesReachTheHostsUnitHandler)
{
    IUpdateHandler* before = FObject::getUpdateHandler();
    IPtr<ProgramListWithPitchNames> presets;
    MockHandler h;
    {
        UnitController c;
        presets = c.presets;
        EXPECT_EQ(c.notifyUnitSelection(), kResultFalse); // no handler
        c.setComponentHandler(&h);
        c.selectUnit(1);
        EXPECT_EQ(c.notifyUnitSelection(), 30);
        EXPECT_EQ(h.units.seen[0], 1);
        EXPECT_TRUE(c.presets->setPitchName(1, 64, u"E3"));
        EXPECT_EQ(h.units.seen[0], 7);
        EXPECT_EQ(h.units.seen[1], -1);
        EXPECT_FALSE(c.presets->setPitchName(1, 64, u"E3")); // no change, no report
        h.units.seen[0] = -99;
        h.offerUnits = false;
        EXPECT_EQ(c.notifyUnitSelection(), kResultFalse);
        EXPECT_TRUE(c.presets->setPitchName(1, 64, u"E4"));
        EXPECT_EQ(h.units.seen[0], -99);
        c.setComponentHandler(nullptr);
    }
    // The controller is gone and no longer a dependent of the list it held.
    h.offerUnits = true;
    EXPECT_TRUE(presets->setPitchName(1, 64, u"E5"));
    EXPECT_EQ(h.units.seen[0], -99);
    EXPECT_EQ(h.refs, 1);
    FObject::setUpdateHandler(before);
}

TEST(QelUnitInfo, EditorViewTellsItsController)
{
    UnitController c;
    auto* view = new EditorView(&c);
    EXPECT_EQ(c.getRefCount(), 2);
    int parent = 0;
    EXPECT_EQ((callSlot<tresult, void*, const char*>(static_cast<IPlugView*>(view), 4, &parent, "x")), kResultOk);
    EXPECT_EQ((callSlot<tresult>(static_cast<IPlugView*>(view), 5)), kResultOk);
    view->release();
    EXPECT_EQ(c.hooks, 111);
    EXPECT_EQ(c.getRefCount(), 1);
}

} // namespace
