// Frame services start and end, host views and colour groups.
#include "tests/pluginset/views_fixture.h"

#include "pluginset/common/qel/views/colorgroups.h"

using namespace Calvereth;
using namespace viewstest;

namespace {

const qelhost::Uid kRequired[] = {qelhost::iid::HeldService1, qelhost::iid::HeldService2,   qelhost::iid::IFrameSystem,
                                  qelhost::iid::HeldService4, qelhost::iid::IUpdateHandler, qelhost::iid::HeldService6};

} // namespace

TEST_F(HostFixture, AnyMissingRequiredServiceFailsAndLeavesNothing)
{
    for (const auto& id : kRequired) {
        auto* lacking = newFrameHost(app);
        lacking->refuse(id);
        EXPECT_FALSE(Frame::initFrameServices(plug(static_cast<qelhost::IFrameHost*>(lacking))));
        EXPECT_EQ(Frame::getFrameServicesUserCount(), 0);
        EXPECT_EQ(Frame::getFrameHost(), nullptr);
        EXPECT_EQ(FObject::getUpdateHandler(), nullptr);
        lacking->release();
    }
    // Nor is a context without a frame host, or none, a start.
    EXPECT_FALSE(Frame::initFrameServices(plug(static_cast<qelhost::IHostApplication*>(app))));
    EXPECT_FALSE(Frame::initFrameServices(nullptr));
    EXPECT_EQ(Frame::getFrameServicesUserCount(), 0);
}

TEST_F(HostFixture, HostViewTakesOverTheViewOnce)
{
    ASSERT_TRUE(Frame::initFrameServices(context()));
    auto* view = new Frame::ExampleView(ViewRect(0, 0, 40, 20));
    view->addRef(); // the test's own
    IHostView* hv = view->createHostView();
    ASSERT_NE(hv, nullptr);
    EXPECT_EQ(view->getRefCount(), 2); // the test's and the host view's
    EXPECT_EQ(view->createHostView(), nullptr);
    EXPECT_EQ(view->getRefCount(), 2);
    view->invalidateRect(view->getLocalRect());
    auto* hostView = dynamic_cast<qelhost::HostView*>(reinterpret_cast<qelhost::IHostView*>(hv));
    ASSERT_NE(hostView, nullptr);
    EXPECT_EQ(hostView->invalidations, 1);
    {
        Frame::MouseCaptureScope scope(*view);
        EXPECT_TRUE(hostView->captured);
    }
    EXPECT_FALSE(hostView->captured);
    EXPECT_EQ(view->mouseDown(1, 1), kResultOk); // no button held: returns at once
    hv->release();
    EXPECT_EQ(view->getRefCount(), 1);
    view->release();
    Frame::exitFrameServices();
}

TEST(ViewsColorGroups, TargetsWithoutTheInterfaceAreLeftAlone)
{
    struct Target : FObject
    {};
    auto* target = new Target;
    const int32 before = getDefaultColorGroupInformation()->getRefCount();
    setColorGroupInformation(target);
    setColorGroupInformation(nullptr);
    EXPECT_EQ(getDefaultColorGroupInformation()->getRefCount(), before);

    // A target that takes colour groups gets the default one.
    auto* receiver = new PlugColorGroupInformation;
    setColorGroupInformation(receiver->unknownCast());
    EXPECT_EQ(getDefaultColorGroupInformation()->getRefCount(), before);
    receiver->release();
    target->release();
}
