// The plain edit controller over its parameter container, driven through the IEditController and
// IEditController2 tables, and the host's handlers behind it.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "qel/editcontroller.h"
#include "qel_mocks.h"

using namespace qeltest;

namespace {

struct Controller : EditController
{
    Controller()
    {
        parameters.addParameter(u"Bypass", nullptr, 1, 0x10001, 0);
        parameters.addParameter(u"Momentary", u"LUFS", 0, 0x2, 1, 1, 0.625);
    }
    IEditController* ec() { return this; }
};

TEST(QelEditController, ParametersThroughTheTable)
{
    Controller c;
    IEditController* e = c.ec();
    EXPECT_EQ((callSlot<int32_t>(e, 8)), 2);
    ParameterInfo info;
    EXPECT_EQ((callSlot<tresult, int32_t, ParameterInfo*>(e, 9, 1, &info)), kResultOk);
    EXPECT_EQ(std::u16string(info.title), u"Momentary");
    EXPECT_EQ(info.defaultNormalizedValue, 0.625);
    for (int32_t index : {2, -1})
        EXPECT_EQ((callSlot<tresult, int32_t, ParameterInfo*>(e, 9, index, &info)), kResultFalse);
    EXPECT_EQ(c.getParameterInfoById(7, info), kResultFalse);

    // Conversions of an id without a parameter give their input back, its value 0.
    EXPECT_EQ((callSlot<double, uint32_t, double>(e, 12, 99, 0.3)), 0.3);
    EXPECT_EQ((callSlot<double, uint32_t, double>(e, 13, 99, 12.5)), 12.5);
    EXPECT_EQ((callSlot<double, uint32_t>(e, 14, 99)), 0.0);
    EXPECT_EQ((callSlot<tresult, uint32_t, double>(e, 15, 1, 1.7)), kResultOk);
    EXPECT_EQ((callSlot<double, uint32_t>(e, 14, 1)), 1.0);
    EXPECT_EQ((callSlot<tresult, uint32_t, double>(e, 15, 99, 0.5)), kResultFalse);

    char16_t text[128];
    EXPECT_EQ((callSlot<tresult, uint32_t, double, char16_t*>(e, 10, 0, 0.51, text)), kResultOk);
    EXPECT_EQ(std::u16string(text), u"On");
    EXPECT_EQ((callSlot<tresult, uint32_t, double, char16_t*>(e, 10, 99, 0.5, text)), kResultFalse);
    double v = -1;
    EXPECT_EQ((callSlot<tresult, uint32_t, const char16_t*, double*>(e, 11, 1, u"0,5", &v)), kResultOk);
    EXPECT_EQ(v, 0.5);
    EXPECT_EQ((callSlot<tresult, uint32_t, const char16_t*, double*>(e, 11, 1, u"none", &v)), kResultFalse);
    EXPECT_EQ((callSlot<tresult, uint32_t, const char16_t*, double*>(e, 11, 99, u"1", &v)), kResultFalse);
}

TEST(QelEditController, HandlersHeldOncePassedOnAndLetGo)
{
    IPtr<qelhost::HostApplication> host(new qelhost::HostApplication, false);
    Controller c;
    IEditController* e = c.ec();
    EXPECT_EQ((callSlot<tresult, FUnknown*>(e, 3, fromHost<FUnknown>(host.get()))), kResultOk);
    EXPECT_EQ(c.performEdit(1, 0.5), kResultFalse);
    EXPECT_EQ(c.notifySecondHandler3(1), kNotImplemented);
    MockHandler h, plain;
    EXPECT_EQ((callSlot<tresult, IComponentHandler*>(e, 16, &h)), kResultOk);
    EXPECT_EQ((callSlot<tresult, IComponentHandler*>(e, 16, &h)), kResultOk);
    EXPECT_EQ(h.refs, 3); // the handler and its second interface, asked once
    EXPECT_EQ(h.asked, 1);
    EXPECT_EQ(c.performEdit(1, 0.25), 9);
    EXPECT_EQ(h.lastValue, 0.25);
    EXPECT_EQ(c.notifySecondHandler3(7), 3);
    EXPECT_EQ(h.second.seen[0], 7);
    EXPECT_EQ(c.notifySecondHandler4("x"), 4);
    EXPECT_EQ(c.notifySecondHandler5() + c.notifySecondHandler6(), 11);
    // A handler without the second interface is still held.
    plain.offerSecond = false;
    EXPECT_EQ((callSlot<tresult, IComponentHandler*>(e, 16, &plain)), kResultOk);
    EXPECT_EQ(h.refs, 1);
    EXPECT_EQ(c.notifySecondHandler3(1), kNotImplemented);
    EXPECT_EQ(c.beginEdit(1), kResultOk);

    for (int slot = 5; slot <= 7; ++slot)
        EXPECT_EQ((callSlot<tresult, void*>(e, slot, nullptr)), kNotImplemented);
    EXPECT_EQ((callSlot<void*, const char*>(e, 17, "editor")), nullptr);
    IEditController2* e2 = &c;
    EXPECT_EQ((callSlot<tresult, int32_t>(e2, 3, 1)), kResultOk);
    EXPECT_EQ((callSlot<tresult, bool>(e2, 4, true)), kResultFalse);
    EXPECT_EQ((callSlot<tresult, bool>(e2, 5, true)), kResultFalse);
    // Terminate lets go of handler, parameters and context.
    EXPECT_EQ((callSlot<tresult>(e, 4)), kResultOk);
    EXPECT_EQ((callSlot<int32_t>(e, 8)), 0);
    EXPECT_EQ(plain.refs, 1);
    EXPECT_EQ(host->refCount(), 1u);
}

TEST(QelParameterContainer, IdsIndicesAndDuplicates)
{
    ParameterContainer pc;
    EXPECT_EQ(pc.getParameter(0), nullptr);
    EXPECT_EQ(pc.addParameter(static_cast<const char16_t*>(nullptr)), nullptr);
    Parameter* a = pc.addParameter(u"A", nullptr, 0, 0, 5);
    Parameter* b = pc.addParameter(u"B"); // a negative id takes the current count
    EXPECT_EQ(b->getInfo().id, 1u);
    // A duplicate id: the first stays the one found by id, both stay reachable by index.
    Parameter* dup = pc.addParameter(a->getInfo());
    EXPECT_EQ(pc.getParameter(5), a);
    EXPECT_EQ(pc.getParameterByIndex(2), dup);
    // Out-of-range values are clamped, a value that is no number taken as 0; a long title is cut.
    EXPECT_TRUE(a->setNormalized(1.7));
    EXPECT_FALSE(a->setNormalized(1.0));
    EXPECT_TRUE(a->setNormalized(std::nan("")));
    EXPECT_EQ(a->getNormalized(), 0.0);
    EXPECT_EQ(std::u16string(pc.addParameter(std::u16string(300, u't').c_str())->getInfo().title).size(), 127u);
    pc.removeAll();
    EXPECT_EQ(pc.getParameter(5), nullptr);
    EXPECT_EQ(pc.getParameterCount(), 0);
}

} // namespace
