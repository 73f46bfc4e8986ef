// The plain edit controller over a parameter list: parameter queries and conversions through the
// IEditController table, component handlers, and the parameter container's consistency.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "qel/editcontroller.h"
#include "qel/iaudioprocessor.h"
#include "qel_mocks.h"
#include "qel_slot_util.h"

using namespace qeltest;

namespace {

struct Handler : MockUnknown<IComponentHandler>
{
    int begins = 0, performs = 0, ends = 0;
    ParamValue lastValue = -1;
    tresult beginEdit(ParamID) override
    {
        ++begins;
        return kResultOk;
    }
    tresult performEdit(ParamID, ParamValue v) override
    {
        ++performs;
        lastValue = v;
        return 9;
    }
    tresult endEdit(ParamID) override
    {
        ++ends;
        return kResultOk;
    }
};

struct Handler2 : Handler, IComponentHandler2
{
    int asked = 0;
    uint8_t lastFlag = 0;
    tresult queryInterface(const TUID iid, void** obj) override
    {
        if (iidEqual(iid, IComponentHandler2::iid)) {
            ++asked;
            Handler::addRef();
            *obj = static_cast<IComponentHandler2*>(this);
            return kResultOk;
        }
        return Handler::queryInterface(iid, obj);
    }
    uint32_t addRef() override { return Handler::addRef(); }
    uint32_t release() override { return Handler::release(); }
    tresult handlerOp3(uint8_t flag) override
    {
        lastFlag = flag;
        return 13;
    }
    tresult handlerOp4(const char*) override { return 14; }
    tresult handlerOp5() override { return 15; }
    tresult handlerOp6() override { return 16; }
};

struct Controller : EditController
{
    Controller()
    {
        parameters.addParameter(u"Bypass", nullptr, 1, 0x10001, 0);
        parameters.addParameter(u"Momentary", u"LUFS", 0, 0x2, 1, 1, 0.625);
    }
};

IEditController* ec(Controller& c)
{
    return &c;
}
int32_t paramCount(Controller& c)
{
    return callSlot<int32_t>(ec(c), 8);
}
tresult paramInfo(Controller& c, int32_t i, ParameterInfo& info)
{
    return callSlot<tresult, int32_t, ParameterInfo*>(ec(c), 9, i, &info);
}
tresult stringByValue(Controller& c, ParamID id, double v, char16_t* s)
{
    return callSlot<tresult, uint32_t, double, char16_t*>(ec(c), 10, id, v, s);
}
tresult valueByString(Controller& c, ParamID id, const char16_t* s, double& v)
{
    return callSlot<tresult, uint32_t, const char16_t*, double*>(ec(c), 11, id, s, &v);
}
double toPlain(Controller& c, ParamID id, double v)
{
    return callSlot<double, uint32_t, double>(ec(c), 12, id, v);
}
double toNorm(Controller& c, ParamID id, double v)
{
    return callSlot<double, uint32_t, double>(ec(c), 13, id, v);
}
double getNorm(Controller& c, ParamID id)
{
    return callSlot<double, uint32_t>(ec(c), 14, id);
}
tresult setNorm(Controller& c, ParamID id, double v)
{
    return callSlot<tresult, uint32_t, double>(ec(c), 15, id, v);
}
tresult setHandler(Controller& c, IComponentHandler* h)
{
    return callSlot<tresult, IComponentHandler*>(ec(c), 16, h);
}

TEST(QelEditController, ParameterQueries)
{
    Controller c;
    EditController empty;
    EXPECT_EQ((callSlot<int32_t>(static_cast<IEditController*>(&empty), 8)), 0);
    EXPECT_EQ(paramCount(c), 2);
    ParameterInfo info;
    EXPECT_EQ(paramInfo(c, 1, info), kResultOk);
    EXPECT_EQ(info.id, 1u);
    EXPECT_EQ(std::u16string(info.title), u"Momentary");
    EXPECT_EQ(std::u16string(info.units), u"LUFS");
    EXPECT_EQ(info.shortTitle[0], 0);
    EXPECT_EQ(info.flags, 2);
    EXPECT_EQ(info.unitId, 1);
    EXPECT_EQ(info.defaultNormalizedValue, 0.625);
    EXPECT_EQ(paramInfo(c, 2, info), kResultFalse);
    EXPECT_EQ(paramInfo(c, -1, info), kResultFalse);
    EXPECT_EQ(c.getParameterInfoById(0, info), kResultOk);
    EXPECT_EQ(info.flags, 0x10001);
    EXPECT_EQ(c.getParameterInfoById(7, info), kResultFalse);
    EXPECT_EQ(c.getParameterObject(7), nullptr);
}

TEST(QelEditController, ValuesAndConversions)
{
    Controller c;
    EXPECT_EQ(getNorm(c, 1), 0.625);
    EXPECT_EQ(getNorm(c, 99), 0.0);
    EXPECT_EQ(setNorm(c, 1, 1.7), kResultOk);
    EXPECT_EQ(getNorm(c, 1), 1.0);
    EXPECT_EQ(setNorm(c, 1, 1.0), kResultOk); // unchanged, still ok
    EXPECT_EQ(setNorm(c, 1, -3.0), kResultOk);
    EXPECT_EQ(getNorm(c, 1), 0.0);
    EXPECT_EQ(setNorm(c, 99, 0.5), kResultFalse);
    EXPECT_EQ(toPlain(c, 1, 0.3), 0.3);
    EXPECT_EQ(toPlain(c, 99, 0.3), 0.3);
    EXPECT_EQ(toNorm(c, 99, 12.5), 12.5);

    char16_t text[128];
    EXPECT_EQ(stringByValue(c, 0, 0.51, text), kResultOk);
    EXPECT_EQ(std::u16string(text), u"On");
    EXPECT_EQ(stringByValue(c, 0, 0.5, text), kResultOk);
    EXPECT_EQ(std::u16string(text), u"Off");
    EXPECT_EQ(stringByValue(c, 1, 0.25, text), kResultOk);
    EXPECT_EQ(std::u16string(text), u"0.2500");
    EXPECT_EQ(stringByValue(c, 99, 0.25, text), kResultFalse);

    double v = -1;
    EXPECT_EQ(valueByString(c, 1, u"0,5", v), kResultOk);
    EXPECT_EQ(v, 0.5);
    EXPECT_EQ(valueByString(c, 1, u"level 0.75 dB", v), kResultOk);
    EXPECT_EQ(v, 0.75);
    EXPECT_EQ(valueByString(c, 1, u"none", v), kResultFalse);
    EXPECT_EQ(valueByString(c, 1, nullptr, v), kResultFalse);
    EXPECT_EQ(valueByString(c, 99, u"1", v), kResultFalse);
}

TEST(QelEditController, ComponentHandlers)
{
    Controller c;
    EXPECT_EQ(c.performEdit(1, 0.5), kResultFalse);
    EXPECT_EQ(c.beginEdit(1), kResultFalse);
    EXPECT_EQ(c.notifySecondHandler3(1), kNotImplemented);

    Handler2 h;
    EXPECT_EQ(setHandler(c, &h), kResultOk);
    EXPECT_EQ(h.refs, 3); // the handler and its second interface
    EXPECT_EQ(setHandler(c, &h), kResultOk);
    EXPECT_EQ(h.refs, 3);
    EXPECT_EQ(h.asked, 1);
    EXPECT_EQ(c.beginEdit(1), kResultOk);
    EXPECT_EQ(c.performEdit(1, 0.25), 9);
    EXPECT_EQ(h.lastValue, 0.25);
    EXPECT_EQ(c.endEdit(1), kResultOk);
    EXPECT_EQ(c.notifySecondHandler3(7), 13);
    EXPECT_EQ(h.lastFlag, 7);
    EXPECT_EQ(c.notifySecondHandler4("x"), 14);
    EXPECT_EQ(c.notifySecondHandler5(), 15);
    EXPECT_EQ(c.notifySecondHandler6(), 16);

    // A handler without the second interface is still held.
    Handler plain;
    EXPECT_EQ(setHandler(c, &plain), kResultOk);
    EXPECT_EQ(h.refs, 1);
    EXPECT_EQ(plain.refs, 2);
    EXPECT_EQ(c.notifySecondHandler3(1), kNotImplemented);
    EXPECT_EQ(c.performEdit(1, 0.5), 9);

    EXPECT_EQ(setHandler(c, nullptr), kResultOk);
    EXPECT_EQ(plain.refs, 1);
    EXPECT_EQ(c.performEdit(1, 0.5), kResultFalse);
}

TEST(QelEditController, LifeCycleThroughTheTable)
{
    MockHost host;
    Handler2 h;
    Controller c;
    IEditController* e = &c;
    EXPECT_EQ((callSlot<tresult, FUnknown*>(e, 3, &host)), kResultOk);
    setHandler(c, &h);
    EXPECT_EQ((callSlot<tresult, void*>(e, 5, nullptr)), kNotImplemented);
    EXPECT_EQ((callSlot<tresult, void*>(e, 6, nullptr)), kNotImplemented);
    EXPECT_EQ((callSlot<tresult, void*>(e, 7, nullptr)), kNotImplemented);
    EXPECT_EQ((callSlot<void*, const char*>(e, 17, "editor")), nullptr);
    IEditController2* e2 = &c;
    EXPECT_EQ((callSlot<tresult, int32_t>(e2, 3, 1)), kResultOk);
    EXPECT_EQ((callSlot<tresult, bool>(e2, 4, true)), kResultFalse);
    EXPECT_EQ((callSlot<tresult, bool>(e2, 5, true)), kResultFalse);

    EXPECT_EQ((callSlot<tresult>(e, 4)), kResultOk);
    EXPECT_EQ(paramCount(c), 0);
    EXPECT_EQ(h.refs, 1);
    EXPECT_EQ(host.refs, 1);

    void* obj = nullptr;
    EXPECT_EQ(c.queryInterface(IEditController::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(e));
    EXPECT_EQ(c.queryInterface(IEditController2::iid, &obj), kResultOk);
    EXPECT_EQ(obj, static_cast<void*>(e2));
    EXPECT_EQ(c.queryInterface(IConnectionPoint::iid, &obj), kResultOk);
    EXPECT_EQ(c.queryInterface(IPluginBase::iid, &obj), kResultOk);
    EXPECT_EQ(c.queryInterface(IAudioProcessor::iid, &obj), kNoInterface);
    EXPECT_EQ(c.getRefCount(), 5);
    EXPECT_STREQ(c.className(), "EditController");
    EXPECT_TRUE(c.isTypeOf("ComponentBase", true));
}

TEST(QelParameterContainer, IdsIndicesAndDuplicates)
{
    ParameterContainer pc;
    EXPECT_EQ(pc.getParameter(0), nullptr);
    EXPECT_EQ(pc.getParameterByIndex(0), nullptr);
    EXPECT_EQ(pc.addParameter(static_cast<const char16_t*>(nullptr)), nullptr);
    EXPECT_EQ(pc.addParameter(static_cast<Parameter*>(nullptr)), nullptr);
    Parameter* a = pc.addParameter(u"A", nullptr, 0, 0, 5);
    // A negative id takes the current count.
    Parameter* b = pc.addParameter(u"B");
    EXPECT_EQ(b->getInfo().id, 1u);
    // A duplicate id: the first stays the one found by id, both stay reachable by index.
    ParameterInfo info = a->getInfo();
    Parameter* dup = pc.addParameter(info);
    EXPECT_EQ(pc.getParameterCount(), 3);
    EXPECT_EQ(pc.getParameter(5), a);
    EXPECT_EQ(pc.getParameterByIndex(2), dup);

    IPtr<Parameter> held(b);
    EXPECT_EQ(b->getRefCount(), 2);
    pc.removeAll();
    EXPECT_EQ(b->getRefCount(), 1);
    EXPECT_EQ(pc.getParameter(5), nullptr);
    EXPECT_EQ(pc.getParameterCount(), 0);
}

TEST(QelParameter, SetNormalizedClampsAndReportsChange)
{
    Parameter p(u"P", 3, nullptr, 0, 0, 0, 0.5);
    EXPECT_TRUE(p.setNormalized(1.7));
    EXPECT_EQ(p.getNormalized(), 1.0);
    EXPECT_FALSE(p.setNormalized(1.0));
    EXPECT_TRUE(p.setNormalized(std::nan("")));
    EXPECT_EQ(p.getNormalized(), 0.0);
    char16_t text[128];
    p.setPrecision(2);
    p.toString(0.125, text);
    EXPECT_EQ(std::u16string(text), u"0.12");
    // A long title is cut to 127 units and terminated.
    std::u16string longTitle(300, u't');
    Parameter q(longTitle.c_str(), 1);
    EXPECT_EQ(std::u16string(q.getInfo().title).size(), 127u);
}

} // namespace
