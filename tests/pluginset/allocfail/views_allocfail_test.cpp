// Each allocation of the controller's steps fails in turn: the step answers kOutOfMemory or
// succeeds, never crashes; after a refusal the controller takes the step again and is torn down
// without a leak.
#include "tests/common/allocation_countdown.h"
#include "tests/pluginset/views_fixture.h"

#include "meter/norrikfactory.h"
#include "meter/norrikids.h"

using namespace Calvereth;
using namespace viewstest;

namespace {

TEST_F(HostFixture, ControllerInitializeKeepsNothingOfAFailureAndCanBeTakenAgain)
{
    IPluginFactory* factory = GetPluginFactory();
    TUID cid;
    Norrik::kControllerUid.copyTo(cid);
    int refusals = 0;
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        void* made = nullptr;
        ASSERT_EQ(factory->createInstance(cid, Qel::IEditController::iid, &made), kResultOk);
        auto* controller = dynamic_cast<Norrik::SmallBigMeterController*>(static_cast<Qel::IEditController*>(made));
        ASSERT_NE(controller, nullptr);
        tresult answer = kResultOk;
        bool failed = false;
        {
            countdown::Fail fail(n);
            answer = controller->initialize(context());
            failed = fail.failed();
        }
        if (answer != kResultOk) {
            ++refusals;
            EXPECT_EQ(answer, kOutOfMemory);
            EXPECT_EQ(controller->getParameterCount(), 0);
            EXPECT_EQ(EditController2::getViewServicesUserCount(), 0);
            EXPECT_EQ(controller->initialize(context()), kResultOk);
        }
        EXPECT_EQ(controller->getParameterCount(), 16);
        IHostValue* value = nullptr;
        EXPECT_EQ(controller->getValueByName("LoudnessSIndicator", &value), kResultOk);
        controller->terminate();
        controller->release();
        if (!failed)
            break;
    }
    EXPECT_GT(refusals, 0);
    factory->release();
}

} // namespace
