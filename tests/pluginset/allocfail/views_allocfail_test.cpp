// Each allocation of the controller's steps fails in turn: the step answers kOutOfMemory or
// succeeds, never crashes; after a refusal the controller takes the step again and is torn down
// without a leak. The editor is built whole or not at all.
#include "tests/common/allocation_countdown.h"
#include "tests/pluginset/views_fixture.h"

#include "meter/meterparams.h"
#include "meter/norrikfactory.h"
#include "meter/norrikids.h"

#include <regex>

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

// With a plain host, and with one whose meter bitmap service makes the channel meters' bitmaps.
class EditorCountdown : public ControllerTest, public ::testing::WithParamInterface<bool>
{
protected:
    void configureHost(qelhost::FrameHost& h) override
    {
        if (GetParam())
            h.offerExtras();
    }
    // The picture, bitmaps the host made to size named without the count of bitmaps made so far.
    static std::string picture(qelhost::EditorView& editor)
    {
        return std::regex_replace(editor.renderSvg(), std::regex("host-(fore|back)-[0-9]+"), "host-$1");
    }
};

TEST_P(EditorCountdown, TheEditorIsBuiltWholeOrNotAtAll)
{
    controller->setParamNormalized(Norrik::kIdMomentary, norm(Norrik::kIdMomentary, -23.0));
    qelhost::HostUpdateHandler& updates = host->updateHandler();
    const std::size_t closed = updates.dependentCount();
    qelhost::EditorView* whole = openEditor();
    ASSERT_NE(whole, nullptr);
    const std::string clean = picture(*whole);
    const std::size_t open = updates.dependentCount();
    closeEditor();
    long refusals = 0;
    bool reached = true;
    for (long n = 0; reached; ++n) {
        SCOPED_TRACE(n);
        qelhost::EditorView* editor = nullptr;
        {
            countdown::Fail fail(n);
            editor = openEditor();
            reached = fail.failed();
        }
        if (!editor) {
            // Nothing of the attempt is left, neither a view nor its registration.
            ++refusals;
            EXPECT_EQ(updates.dependentCount(), closed);
            continue;
        }
        // Every view the editor has is registered for its changes, and draws as with memory to spare.
        EXPECT_EQ(updates.dependentCount(), open);
        EXPECT_EQ(picture(*editor), clean);
        closeEditor();
    }
    EXPECT_GT(refusals, 0);
}

INSTANTIATE_TEST_SUITE_P(Views, EditorCountdown, ::testing::Bool());

} // namespace
