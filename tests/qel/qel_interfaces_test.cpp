// What the host's own declarations and the host-driven tests do not pin: the identifier bytes, and
// the slots of the interfaces the host of this project never calls.
#include <gtest/gtest.h>

#include <cstdio>

#include "qel/iaudioprocessor.h"
#include "qel/icomponent.h"
#include "qel/iconnectionpoint.h"
#include "qel/pluginview.h"
#include "qel_mocks.h"

using namespace qeltest;

namespace {

std::string hex(const char* iid)
{
    char text[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(text + 2 * i, 3, "%02X", static_cast<unsigned char>(iid[i]));
    return text;
}

TEST(QelInterfaces, IdentifierBytesInMemoryOrder)
{
    // Those the host's own identifier table does not already compare with the plug-in's.
    const std::pair<const FUID*, const char*> ids[] = {
        {&IPlugView::iid, "5BC32507D06049EAA6151B522B755B29"},
        {&IEditController2::iid, "7F4EFE59F3204967AC27A3AEAFB63038"},
        {&IUnitInfo::iid, "3D4BD6B5913A4FD2A886E768A5EB92C1"},
        {&IEditControllerHostEditing::iid, "C127120870594098B9DD34B36BB0195E"},
        {&IXmlRepresentationController::iid, "A81A047148C34DC4AC30C9E13C8393D5"},
        {&IComponentHandler2::iid, "F040B4B3A36045ECABCDC045B4D5A2CC"},
        {&IUnitHandler::iid, "4B5147F84654486B8DAB30BA163A3C56"}};
    for (const auto& [iid, bytes] : ids)
        EXPECT_EQ(hex(*iid), bytes);
}

TEST(QelInterfaces, PlugViewSlots)
{
    auto* view = new CPluginView;
    IPlugView* v = view;
    int parent = 0;
    ViewRect r(1, 2, 3, 4);
    EXPECT_EQ((callSlot<tresult, const char*>(v, 3, "x")), kNotImplemented);
    EXPECT_EQ((callSlot<tresult, void*, const char*>(v, 4, &parent, "x")), kResultOk);
    EXPECT_EQ((callSlot<tresult, float>(v, 6, 1.f)), kResultFalse);
    for (int slot : {7, 8})
        EXPECT_EQ((callSlot<tresult, char16_t, int16_t, int16_t>(v, slot, u'a', 0, 0)), kResultFalse);
    EXPECT_EQ((callSlot<tresult, ViewRect*>(v, 10, &r)), kResultOk);
    r = ViewRect();
    EXPECT_EQ((callSlot<tresult, ViewRect*>(v, 9, &r)), kResultOk);
    EXPECT_EQ(r.bottom, 4);
    EXPECT_EQ((callSlot<tresult, bool>(v, 11, true)), kResultFalse);
    EXPECT_EQ((callSlot<tresult, void*>(v, 12, &parent)), kResultOk);
    EXPECT_EQ((callSlot<tresult>(v, 13)), kResultFalse);
    EXPECT_EQ((callSlot<tresult, ViewRect*>(v, 14, &r)), kResultFalse);
    EXPECT_EQ((callSlot<tresult>(v, 5)), kResultOk);
    EXPECT_EQ(view->getParent(), nullptr);
    EXPECT_EQ(view->getFrame(), &parent);
    EXPECT_EQ((callSlot<uint32_t>(v, 2)), 0u);
}

// Implemented by the meter's controller alone, whose own tests do not reach them by slot.
struct HostEditing : MockUnknown<IEditControllerHostEditing>
{
    tresult beginHostEdit(ParamID id) override { return id == 5 ? 3 : -3; }
    tresult endHostEdit(ParamID id) override { return id == 6 ? 4 : -4; }
};

struct XmlController : MockUnknown<IXmlRepresentationController>
{
    tresult getXmlRepresentation(void* info, IBStream*) override { return info ? 3 : -3; }
};

TEST(QelInterfaces, ControllerExtensionSlots)
{
    HostEditing h;
    EXPECT_EQ((callSlot<tresult, uint32_t>(static_cast<IEditControllerHostEditing*>(&h), 3, 5)), 3);
    EXPECT_EQ((callSlot<tresult, uint32_t>(static_cast<IEditControllerHostEditing*>(&h), 4, 6)), 4);
    XmlController x;
    int info = 0;
    EXPECT_EQ((callSlot<tresult, void*, void*>(static_cast<IXmlRepresentationController*>(&x), 3, &info, nullptr)), 3);
}

} // namespace
