// The plug view base: size, parent and the attach and remove hooks.
#include <gtest/gtest.h>

#include "qel/pluginview.h"

using namespace Calvereth;

TEST(QelPluginView, RectangleParentAndHooks)
{
    struct Hooked : CPluginView
    {
        using CPluginView::CPluginView;
        void attachedToParent() override { ++attachedCalls; }
        void removedFromParent() override { ++removedCalls; }
        int attachedCalls = 0, removedCalls = 0;
    };
    auto* v = new Hooked;
    ViewRect r(1, 1, 1, 1);
    EXPECT_EQ(v->getSize(&r), kResultOk);
    EXPECT_EQ(r.left + r.top + r.right + r.bottom, 0);
    EXPECT_EQ(v->getSize(nullptr), kInvalidArgument);
    ViewRect n(0, 0, 30, 20);
    EXPECT_EQ(v->onSize(&n), kResultOk);
    EXPECT_EQ(v->onSize(nullptr), kResultOk);
    v->getSize(&r);
    EXPECT_EQ(r.right, 30);
    int parent = 0;
    v->attached(&parent, "x");
    EXPECT_EQ(v->getParent(), &parent);
    v->removed();
    EXPECT_EQ(v->getParent(), nullptr);
    EXPECT_EQ(v->attachedCalls, 1);
    EXPECT_EQ(v->removedCalls, 1);
    EXPECT_EQ(v->reservedSlot3(nullptr), kNotImplemented);
    EXPECT_EQ(v->reservedSlot13(), kResultFalse);
    IPlugView* iface = nullptr;
    ASSERT_EQ(v->queryInterface(IPlugView::iid, reinterpret_cast<void**>(&iface)), kResultOk);
    iface->release();
    v->release();
}
