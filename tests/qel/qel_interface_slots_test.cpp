// Every interface declaration sits at the slot the boundary fixes: a recording implementation of each
// interface is called through raw slot indices and must see the operation of that slot.
#include <gtest/gtest.h>

#include "qel/iaudioprocessor.h"
#include "qel/icomponent.h"
#include "qel/iconnectionpoint.h"
#include "qel/ieditcontroller.h"
#include "qel/ihostapplication.h"
#include "qel/imessage.h"
#include "qel/ipluginbase.h"
#include "qel/iplugview.h"
#include "qel/iunitinfo.h"
#include "qel_slot_util.h"

using namespace Calvereth;
using namespace Calvereth::Qel;
using qeltest::callSlot;

namespace {

#define REC_UNKNOWN                                                                                                    \
    int last = -1;                                                                                                     \
    int32_t queryInterface(const TUID, void**) override                                                                \
    {                                                                                                                  \
        return hit(0);                                                                                                 \
    }                                                                                                                  \
    uint32_t addRef() override                                                                                         \
    {                                                                                                                  \
        return hit(1);                                                                                                 \
    }                                                                                                                  \
    uint32_t release() override                                                                                        \
    {                                                                                                                  \
        return hit(2);                                                                                                 \
    }                                                                                                                  \
    int32_t hit(int s)                                                                                                 \
    {                                                                                                                  \
        last = s;                                                                                                      \
        return s;                                                                                                      \
    }

#define REC_PLUGINBASE                                                                                                 \
    int32_t initialize(FUnknown*) override                                                                             \
    {                                                                                                                  \
        return hit(3);                                                                                                 \
    }                                                                                                                  \
    int32_t terminate() override                                                                                       \
    {                                                                                                                  \
        return hit(4);                                                                                                 \
    }

void checkUnknown(void* obj, int& last)
{
    TUID iid{};
    void* out = nullptr;
    EXPECT_EQ((callSlot<int32_t, const char*, void**>(obj, 0, iid, &out)), 0);
    EXPECT_EQ(last, 0);
    EXPECT_EQ((callSlot<uint32_t>(obj, 1)), 1u);
    EXPECT_EQ((callSlot<uint32_t>(obj, 2)), 2u);
    EXPECT_EQ(last, 2);
}

struct ComponentRec : IComponent
{
    REC_UNKNOWN
    REC_PLUGINBASE
    int32_t getControllerClassId(TUID) override { return hit(5); }
    int32_t reservedSlot6(int32_t) override { return hit(6); }
    int32_t getBusCount(MediaType, BusDirection) override { return hit(7); }
    int32_t getBusInfo(MediaType, BusDirection, int32_t, BusInfo&) override { return hit(8); }
    int32_t reservedSlot9(void*, void*) override { return hit(9); }
    int32_t activateBus(MediaType, BusDirection, int32_t, bool) override { return hit(10); }
    int32_t setActive(bool) override { return hit(11); }
    int32_t setState(IBStream*) override { return hit(12); }
    int32_t getState(IBStream*) override { return hit(13); }
};

TEST(QelInterfaceSlots, Component)
{
    ComponentRec r;
    IComponent* c = &r;
    checkUnknown(c, r.last);
    BusInfo info;
    TUID cid;
    EXPECT_EQ((callSlot<int32_t, FUnknown*>(c, 3, nullptr)), 3);
    EXPECT_EQ((callSlot<int32_t>(c, 4)), 4);
    EXPECT_EQ((callSlot<int32_t, char*>(c, 5, cid)), 5);
    EXPECT_EQ((callSlot<int32_t, int32_t>(c, 6, 0)), 6);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t>(c, 7, 0, 0)), 7);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t, int32_t, BusInfo*>(c, 8, 0, 0, 0, &info)), 8);
    EXPECT_EQ((callSlot<int32_t, void*, void*>(c, 9, nullptr, nullptr)), 9);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t, int32_t, bool>(c, 10, 0, 0, 0, true)), 10);
    EXPECT_EQ((callSlot<int32_t, bool>(c, 11, true)), 11);
    EXPECT_EQ((callSlot<int32_t, IBStream*>(c, 12, nullptr)), 12);
    EXPECT_EQ((callSlot<int32_t, IBStream*>(c, 13, nullptr)), 13);
    EXPECT_EQ(r.last, 13);
}

struct ProcessorRec : IAudioProcessor
{
    REC_UNKNOWN
    int32_t setBusArrangements(SpeakerArrangement*, int32_t, SpeakerArrangement*, int32_t) override { return hit(3); }
    int32_t getBusArrangement(BusDirection, int32_t, SpeakerArrangement&) override { return hit(4); }
    int32_t canProcessSampleSize(SampleSizeCode) override { return hit(5); }
    uint32_t getLatencySamples() override { return hit(6); }
    int32_t setupProcessing(ProcessSetup&) override { return hit(7); }
    int32_t reservedSlot8(bool) override { return hit(8); }
    int32_t process(ProcessData&) override { return hit(9); }
    uint32_t getTailSamples() override { return hit(10); }
};

TEST(QelInterfaceSlots, AudioProcessor)
{
    ProcessorRec r;
    IAudioProcessor* p = &r;
    checkUnknown(p, r.last);
    SpeakerArrangement a = 3;
    ProcessSetup setup;
    ProcessData data;
    EXPECT_EQ((callSlot<int32_t, SpeakerArrangement*, int32_t, SpeakerArrangement*, int32_t>(p, 3, &a, 1, &a, 1)), 3);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t, SpeakerArrangement*>(p, 4, 0, 0, &a)), 4);
    EXPECT_EQ((callSlot<int32_t, int32_t>(p, 5, 0)), 5);
    EXPECT_EQ((callSlot<uint32_t>(p, 6)), 6u);
    EXPECT_EQ((callSlot<int32_t, ProcessSetup*>(p, 7, &setup)), 7);
    EXPECT_EQ((callSlot<int32_t, bool>(p, 8, true)), 8);
    EXPECT_EQ((callSlot<int32_t, ProcessData*>(p, 9, &data)), 9);
    EXPECT_EQ((callSlot<uint32_t>(p, 10)), 10u);
}

struct ConnectionRec : IConnectionPoint
{
    REC_UNKNOWN
    int32_t connect(IConnectionPoint*) override { return hit(3); }
    int32_t disconnect(IConnectionPoint*) override { return hit(4); }
    int32_t notify(IMessage*) override { return hit(5); }
};

TEST(QelInterfaceSlots, ConnectionPoint)
{
    ConnectionRec r;
    checkUnknown(&r, r.last);
    for (int s = 3; s <= 5; ++s)
        EXPECT_EQ((callSlot<int32_t, void*>(static_cast<IConnectionPoint*>(&r), s, nullptr)), s);
}

struct ControllerRec : IEditController
{
    REC_UNKNOWN
    REC_PLUGINBASE
    double dhit(int s)
    {
        last = s;
        return s + 0.5;
    }
    int32_t setComponentState(IBStream*) override { return hit(5); }
    int32_t reservedSlot6(IBStream*) override { return hit(6); }
    int32_t reservedSlot7(IBStream*) override { return hit(7); }
    int32_t getParameterCount() override { return hit(8); }
    int32_t getParameterInfo(int32_t, ParameterInfo&) override { return hit(9); }
    int32_t getParamStringByValue(ParamID, ParamValue v, String128) override { return v == 0.25 ? hit(10) : -10; }
    int32_t getParamValueByString(ParamID, char16_t*, ParamValue&) override { return hit(11); }
    ParamValue normalizedParamToPlain(ParamID, ParamValue) override { return dhit(12); }
    ParamValue plainParamToNormalized(ParamID, ParamValue) override { return dhit(13); }
    ParamValue getParamNormalized(ParamID) override { return dhit(14); }
    int32_t setParamNormalized(ParamID id, ParamValue v) override { return id == 7 && v == 0.75 ? hit(15) : -15; }
    int32_t setComponentHandler(IComponentHandler*) override { return hit(16); }
    IPlugView* createView(const char*) override
    {
        hit(17);
        return reinterpret_cast<IPlugView*>(this);
    }
};

TEST(QelInterfaceSlots, EditController)
{
    ControllerRec r;
    IEditController* c = &r;
    checkUnknown(c, r.last);
    ParameterInfo info;
    char16_t text[128] = {};
    double v = 0;
    EXPECT_EQ((callSlot<int32_t, FUnknown*>(c, 3, nullptr)), 3);
    EXPECT_EQ((callSlot<int32_t>(c, 4)), 4);
    for (int s = 5; s <= 7; ++s)
        EXPECT_EQ((callSlot<int32_t, IBStream*>(c, s, nullptr)), s);
    EXPECT_EQ((callSlot<int32_t>(c, 8)), 8);
    EXPECT_EQ((callSlot<int32_t, int32_t, ParameterInfo*>(c, 9, 0, &info)), 9);
    EXPECT_EQ((callSlot<int32_t, uint32_t, double, char16_t*>(c, 10, 1, 0.25, text)), 10);
    EXPECT_EQ((callSlot<int32_t, uint32_t, char16_t*, double*>(c, 11, 1, text, &v)), 11);
    EXPECT_EQ((callSlot<double, uint32_t, double>(c, 12, 1, 0.0)), 12.5);
    EXPECT_EQ((callSlot<double, uint32_t, double>(c, 13, 1, 0.0)), 13.5);
    EXPECT_EQ((callSlot<double, uint32_t>(c, 14, 1)), 14.5);
    EXPECT_EQ((callSlot<int32_t, uint32_t, double>(c, 15, 7, 0.75)), 15);
    EXPECT_EQ((callSlot<int32_t, IComponentHandler*>(c, 16, nullptr)), 16);
    EXPECT_EQ((callSlot<void*, const char*>(c, 17, "editor")), static_cast<void*>(&r));
    EXPECT_EQ(r.last, 17);
}

struct Controller2Rec : IEditController2
{
    REC_UNKNOWN
    int32_t setSharedMode(int32_t) override { return hit(3); }
    int32_t reservedSlot4(bool) override { return hit(4); }
    int32_t reservedSlot5(bool) override { return hit(5); }
};

struct HostEditingRec : IEditControllerHostEditing
{
    REC_UNKNOWN
    int32_t beginHostEdit(ParamID) override { return hit(3); }
    int32_t endHostEdit(ParamID) override { return hit(4); }
};

struct XmlRec : IXmlRepresentationController
{
    REC_UNKNOWN
    int32_t getXmlRepresentation(void*, IBStream*) override { return hit(3); }
};

TEST(QelInterfaceSlots, ControllerExtensions)
{
    Controller2Rec r2;
    checkUnknown(&r2, r2.last);
    EXPECT_EQ((callSlot<int32_t, int32_t>(static_cast<IEditController2*>(&r2), 3, 0)), 3);
    EXPECT_EQ((callSlot<int32_t, bool>(static_cast<IEditController2*>(&r2), 4, false)), 4);
    EXPECT_EQ((callSlot<int32_t, bool>(static_cast<IEditController2*>(&r2), 5, false)), 5);
    HostEditingRec h;
    checkUnknown(&h, h.last);
    EXPECT_EQ((callSlot<int32_t, uint32_t>(static_cast<IEditControllerHostEditing*>(&h), 3, 1)), 3);
    EXPECT_EQ((callSlot<int32_t, uint32_t>(static_cast<IEditControllerHostEditing*>(&h), 4, 1)), 4);
    XmlRec x;
    checkUnknown(&x, x.last);
    EXPECT_EQ((callSlot<int32_t, void*, void*>(static_cast<IXmlRepresentationController*>(&x), 3, nullptr, nullptr)),
              3);
}

struct UnitInfoRec : IUnitInfo
{
    REC_UNKNOWN
    int32_t getUnitCount() override { return hit(3); }
    int32_t getUnitInfo(int32_t, UnitInfo&) override { return hit(4); }
    int32_t getProgramListCount() override { return hit(5); }
    int32_t getProgramListInfo(int32_t, ProgramListInfo&) override { return hit(6); }
    int32_t getProgramName(int32_t, int32_t, char16_t*) override { return hit(7); }
    int32_t getProgramInfo(int32_t, int32_t, const char*, char16_t*) override { return hit(8); }
    int32_t hasProgramPitchNames(int32_t, int32_t) override { return hit(9); }
    int32_t getProgramPitchName(int32_t, int32_t, int16_t, char16_t*) override { return hit(10); }
    int32_t getSelectedUnit() override { return hit(11); }
    int32_t selectUnit(int32_t) override { return hit(12); }
    int32_t reservedSlot13() override { return hit(13); }
    int32_t reservedSlot14() override { return hit(14); }
};

TEST(QelInterfaceSlots, UnitInfo)
{
    UnitInfoRec r;
    IUnitInfo* u = &r;
    checkUnknown(u, r.last);
    UnitInfo ui;
    ProgramListInfo pl;
    char16_t name[128];
    EXPECT_EQ((callSlot<int32_t>(u, 3)), 3);
    EXPECT_EQ((callSlot<int32_t, int32_t, UnitInfo*>(u, 4, 0, &ui)), 4);
    EXPECT_EQ((callSlot<int32_t>(u, 5)), 5);
    EXPECT_EQ((callSlot<int32_t, int32_t, ProgramListInfo*>(u, 6, 0, &pl)), 6);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t, char16_t*>(u, 7, 0, 0, name)), 7);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t, const char*, char16_t*>(u, 8, 0, 0, "a", name)), 8);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t>(u, 9, 0, 0)), 9);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t, int16_t, char16_t*>(u, 10, 0, 0, 0, name)), 10);
    EXPECT_EQ((callSlot<int32_t>(u, 11)), 11);
    EXPECT_EQ((callSlot<int32_t, int32_t>(u, 12, 0)), 12);
    EXPECT_EQ((callSlot<int32_t>(u, 13)), 13);
    EXPECT_EQ((callSlot<int32_t>(u, 14)), 14);
}

struct FactoryRec : IPluginFactory3
{
    REC_UNKNOWN
    int32_t getFactoryInfo(FactoryInfo*) override { return hit(3); }
    int32_t countClasses() override { return hit(4); }
    int32_t getClassInfo(int32_t, ClassInfo*) override { return hit(5); }
    int32_t createInstance(const TUID, const TUID, void**) override { return hit(6); }
    int32_t getClassInfo2(int32_t, ClassInfo2*) override { return hit(7); }
    int32_t getClassInfoUnicode(int32_t, ClassInfoUnicode*) override { return hit(8); }
    int32_t setHostContext(FUnknown*) override { return hit(9); }
};

TEST(QelInterfaceSlots, PluginFactory)
{
    FactoryRec r;
    IPluginFactory3* f = &r;
    checkUnknown(f, r.last);
    TUID id{};
    void* out;
    EXPECT_EQ((callSlot<int32_t, void*>(f, 3, nullptr)), 3);
    EXPECT_EQ((callSlot<int32_t>(f, 4)), 4);
    EXPECT_EQ((callSlot<int32_t, int32_t, void*>(f, 5, 0, nullptr)), 5);
    EXPECT_EQ((callSlot<int32_t, const char*, const char*, void**>(f, 6, id, id, &out)), 6);
    EXPECT_EQ((callSlot<int32_t, int32_t, void*>(f, 7, 0, nullptr)), 7);
    EXPECT_EQ((callSlot<int32_t, int32_t, void*>(f, 8, 0, nullptr)), 8);
    EXPECT_EQ((callSlot<int32_t, FUnknown*>(f, 9, nullptr)), 9);
    // The older factory interfaces share the table's front.
    EXPECT_EQ(static_cast<void*>(static_cast<IPluginFactory*>(f)), static_cast<void*>(f));
}

struct ViewRec : IPlugView
{
    REC_UNKNOWN
    int32_t reservedSlot3(const char*) override { return hit(3); }
    int32_t attached(void*, const char*) override { return hit(4); }
    int32_t removed() override { return hit(5); }
    int32_t reservedSlot6(float) override { return hit(6); }
    int32_t reservedSlot7(char16_t, int16_t, int16_t) override { return hit(7); }
    int32_t reservedSlot8(char16_t, int16_t, int16_t) override { return hit(8); }
    int32_t getSize(ViewRect*) override { return hit(9); }
    int32_t onSize(ViewRect*) override { return hit(10); }
    int32_t reservedSlot11(bool) override { return hit(11); }
    int32_t setFrame(void*) override { return hit(12); }
    int32_t reservedSlot13() override { return hit(13); }
    int32_t reservedSlot14(ViewRect*) override { return hit(14); }
};

TEST(QelInterfaceSlots, PlugView)
{
    ViewRec r;
    IPlugView* v = &r;
    checkUnknown(v, r.last);
    ViewRect rect;
    EXPECT_EQ((callSlot<int32_t, const char*>(v, 3, "x")), 3);
    EXPECT_EQ((callSlot<int32_t, void*, const char*>(v, 4, nullptr, "x")), 4);
    EXPECT_EQ((callSlot<int32_t>(v, 5)), 5);
    EXPECT_EQ((callSlot<int32_t, float>(v, 6, 1.f)), 6);
    EXPECT_EQ((callSlot<int32_t, char16_t, int16_t, int16_t>(v, 7, u'a', 0, 0)), 7);
    EXPECT_EQ((callSlot<int32_t, char16_t, int16_t, int16_t>(v, 8, u'a', 0, 0)), 8);
    EXPECT_EQ((callSlot<int32_t, ViewRect*>(v, 9, &rect)), 9);
    EXPECT_EQ((callSlot<int32_t, ViewRect*>(v, 10, &rect)), 10);
    EXPECT_EQ((callSlot<int32_t, bool>(v, 11, true)), 11);
    EXPECT_EQ((callSlot<int32_t, void*>(v, 12, nullptr)), 12);
    EXPECT_EQ((callSlot<int32_t>(v, 13)), 13);
    EXPECT_EQ((callSlot<int32_t, ViewRect*>(v, 14, &rect)), 14);
}

// Host-side interfaces: the plug-in calls them, so their tables must match what the host builds.
struct HostAppRec : IHostApplication
{
    REC_UNKNOWN
    int32_t getName(char16_t*) override { return hit(3); }
    int32_t createInstance(const TUID, const TUID, void**) override { return hit(4); }
};

struct AttributesRec : IMessageAttributes
{
    REC_UNKNOWN
    int32_t setInt(const char*, int64_t v) override { return v == -5 ? hit(3) : -3; }
    int32_t getInt(const char*, int64_t&) override { return hit(4); }
    int32_t setFloat(const char*, double v) override { return v == 2.5 ? hit(5) : -5; }
    int32_t getFloat(const char*, double&) override { return hit(6); }
    int32_t setString(const char*, const char16_t*) override { return hit(7); }
    int32_t getString(const char*, char16_t*, uint32_t size) override { return size == 256 ? hit(8) : -8; }
    int32_t setBinary(const char*, const void*, uint32_t) override { return hit(9); }
    int32_t getBinary(const char*, const void*&, uint32_t&) override { return hit(10); }
};

struct MessageRec : IMessage
{
    REC_UNKNOWN
    AttributesRec attrs;
    const char* getMessageId() override
    {
        hit(3);
        return "id";
    }
    void setMessageId(const char*) override { hit(4); }
    IMessageAttributes* getAttributes() override
    {
        hit(5);
        return &attrs;
    }
};

TEST(QelInterfaceSlots, HostApplicationAndMessages)
{
    HostAppRec h;
    checkUnknown(&h, h.last);
    char16_t name[128];
    void* out;
    TUID id{};
    EXPECT_EQ((callSlot<int32_t, char16_t*>(static_cast<IHostApplication*>(&h), 3, name)), 3);
    EXPECT_EQ(
        (callSlot<int32_t, const char*, const char*, void**>(static_cast<IHostApplication*>(&h), 4, id, id, &out)), 4);

    MessageRec m;
    IMessage* msg = &m;
    checkUnknown(msg, m.last);
    EXPECT_STREQ((callSlot<const char*>(msg, 3)), "id");
    callSlot<void, const char*>(msg, 4, "x");
    EXPECT_EQ(m.last, 4);
    void* attrs = callSlot<void*>(msg, 5);
    EXPECT_EQ(attrs, static_cast<void*>(static_cast<IMessageAttributes*>(&m.attrs)));

    int64_t i;
    double d;
    char16_t buf[128];
    const void* data;
    uint32_t size;
    EXPECT_EQ((callSlot<int32_t, const char*, int64_t>(attrs, 3, "k", -5)), 3);
    EXPECT_EQ((callSlot<int32_t, const char*, int64_t*>(attrs, 4, "k", &i)), 4);
    EXPECT_EQ((callSlot<int32_t, const char*, double>(attrs, 5, "k", 2.5)), 5);
    EXPECT_EQ((callSlot<int32_t, const char*, double*>(attrs, 6, "k", &d)), 6);
    EXPECT_EQ((callSlot<int32_t, const char*, const char16_t*>(attrs, 7, "k", u"t")), 7);
    EXPECT_EQ((callSlot<int32_t, const char*, char16_t*, uint32_t>(attrs, 8, "k", buf, 256)), 8);
    EXPECT_EQ((callSlot<int32_t, const char*, const void*, uint32_t>(attrs, 9, "k", buf, 4)), 9);
    EXPECT_EQ((callSlot<int32_t, const char*, const void**, uint32_t*>(attrs, 10, "k", &data, &size)), 10);
}

struct HandlerRec : IComponentHandler
{
    REC_UNKNOWN
    int32_t beginEdit(ParamID) override { return hit(3); }
    int32_t performEdit(ParamID, ParamValue v) override { return v == 0.5 ? hit(4) : -4; }
    int32_t endEdit(ParamID) override { return hit(5); }
};

struct Handler2Rec : IComponentHandler2
{
    REC_UNKNOWN
    int32_t handlerOp3(uint8_t) override { return hit(3); }
    int32_t handlerOp4(const char*) override { return hit(4); }
    int32_t handlerOp5() override { return hit(5); }
    int32_t handlerOp6() override { return hit(6); }
};

struct UnitHandlerRec : IUnitHandler
{
    REC_UNKNOWN
    int32_t notifyUnitSelection(int32_t) override { return hit(3); }
    int32_t notifyProgramListChange(int32_t, int32_t) override { return hit(4); }
};

TEST(QelInterfaceSlots, HostHandlers)
{
    HandlerRec h;
    checkUnknown(&h, h.last);
    IComponentHandler* ch = &h;
    EXPECT_EQ((callSlot<int32_t, uint32_t>(ch, 3, 1)), 3);
    EXPECT_EQ((callSlot<int32_t, uint32_t, double>(ch, 4, 1, 0.5)), 4);
    EXPECT_EQ((callSlot<int32_t, uint32_t>(ch, 5, 1)), 5);
    Handler2Rec h2;
    checkUnknown(&h2, h2.last);
    IComponentHandler2* c2 = &h2;
    EXPECT_EQ((callSlot<int32_t, uint8_t>(c2, 3, 1)), 3);
    EXPECT_EQ((callSlot<int32_t, const char*>(c2, 4, "x")), 4);
    EXPECT_EQ((callSlot<int32_t>(c2, 5)), 5);
    EXPECT_EQ((callSlot<int32_t>(c2, 6)), 6);
    UnitHandlerRec u;
    checkUnknown(&u, u.last);
    EXPECT_EQ((callSlot<int32_t, int32_t>(static_cast<IUnitHandler*>(&u), 3, 1)), 3);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t>(static_cast<IUnitHandler*>(&u), 4, 1, -1)), 4);
}

struct QueueRec : IParameterChangeQueue
{
    REC_UNKNOWN
    uint32_t getParameterId() override { return hit(3); }
    int32_t getPointCount() override { return hit(4); }
    int32_t getPoint(int32_t, int32_t&, double&) override { return hit(5); }
    int32_t addPoint(int32_t, double v, int32_t&) override { return v == 0.125 ? hit(6) : -6; }
};

struct ChangesRec : IParameterChangeList
{
    REC_UNKNOWN
    QueueRec queue;
    int32_t getParameterCount() override { return hit(3); }
    IParameterChangeQueue* getParameterData(int32_t) override
    {
        hit(4);
        return &queue;
    }
    IParameterChangeQueue* addParameterData(const uint32_t& id, int32_t&) override
    {
        hit(id == 9 ? 5 : -5);
        return &queue;
    }
};

TEST(QelInterfaceSlots, ParameterChanges)
{
    ChangesRec c;
    checkUnknown(&c, c.last);
    IParameterChangeList* list = &c;
    EXPECT_EQ((callSlot<int32_t>(list, 3)), 3);
    EXPECT_EQ((callSlot<void*, int32_t>(list, 4, 0)),
              static_cast<void*>(static_cast<IParameterChangeQueue*>(&c.queue)));
    uint32_t id = 9;
    int32_t index;
    void* q = callSlot<void*, const uint32_t*, int32_t*>(list, 5, &id, &index);
    EXPECT_EQ(c.last, 5);
    checkUnknown(q, c.queue.last);
    int32_t offset;
    double v;
    EXPECT_EQ((callSlot<uint32_t>(q, 3)), 3u);
    EXPECT_EQ((callSlot<int32_t>(q, 4)), 4);
    EXPECT_EQ((callSlot<int32_t, int32_t, int32_t*, double*>(q, 5, 0, &offset, &v)), 5);
    EXPECT_EQ((callSlot<int32_t, int32_t, double, int32_t*>(q, 6, 0, 0.125, &index)), 6);
}

struct StreamRec : IBStream
{
    REC_UNKNOWN
    int32_t read(void*, int32_t, int32_t*) override { return hit(3); }
    int32_t write(void*, int32_t, int32_t*) override { return hit(4); }
    int32_t seek(int64_t, int32_t, int64_t*) override { return hit(5); }
    int32_t tell(int64_t*) override { return hit(6); }
};

TEST(QelInterfaceSlots, Stream)
{
    StreamRec s;
    checkUnknown(&s, s.last);
    IBStream* st = &s;
    char buf[4];
    int32_t n;
    int64_t pos;
    EXPECT_EQ((callSlot<int32_t, void*, int32_t, int32_t*>(st, 3, buf, 4, &n)), 3);
    EXPECT_EQ((callSlot<int32_t, void*, int32_t, int32_t*>(st, 4, buf, 4, &n)), 4);
    EXPECT_EQ((callSlot<int32_t, int64_t, int32_t, int64_t*>(st, 5, 0, 0, &pos)), 5);
    EXPECT_EQ((callSlot<int32_t, int64_t*>(st, 6, &pos)), 6);
}

} // namespace
