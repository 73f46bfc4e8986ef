// Each allocation of the controller's steps fails in turn: the step answers kOutOfMemory or
// succeeds, never crashes; after a refusal the controller takes the step again and is torn down
// without a leak. The editor is built whole or not at all; meter data that cannot grow keeps what it
// holds.
#include "tests/common/allocation_countdown.h"
#include "tests/pluginset/views_fixture.h"

#include "meter/meterparams.h"
#include "meter/norrikfactory.h"
#include "meter/norrikids.h"
#include "pluginset/common/qel/views/vumeterdata.h"

#include <functional>
#include <new>
#include <utility>
#include <vector>

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

// Every value a caller reads of meter data tagged 0 to 3: the count, the values, the channel count,
// and the first two channels' held peaks and maxima (the kinds without them answer -2).
std::vector<float> readable(Frame::CurveData& d)
{
    std::vector<float> seen{static_cast<float>(d.getCount())};
    for (int32 tag : {0, 1, 2, 3, int32{Frame::kVuChannelCount}, int32{Frame::kVuHeldPeak}, Frame::kVuHeldPeak + 1,
                      int32{Frame::kVuChannelMaximum}, Frame::kVuChannelMaximum + 1}) {
        float v = -1.f;
        seen.push_back(d.getValue(tag, v) ? v : -2.f);
    }
    return seen;
}

// Each allocation of growing meter data from two values to four fails in turn: the data either
// grew, or refused with std::bad_alloc and reads as it did, values, peaks and channel count alike.
TEST_F(HostFixture, MeterDataThatCannotGrowReadsAsItDid)
{
    ASSERT_TRUE(Frame::initFrameServices(context()));
    const Frame::TagList tags{0, 1, 2, 3};
    const auto viaChannelCount = [](Frame::CurveData& d) { d.setValue(Frame::kVuChannelCount, 4.f); };
    const std::pair<std::function<Frame::CurveData*()>, std::function<void(Frame::CurveData&)>> kinds[] = {
        {[&] { return new Frame::CurveData(2, tags, nullptr); }, [](Frame::CurveData& d) { d.resize(4); }},
        {[&] { return new Frame::VuMeterData(2, tags, nullptr); }, viaChannelCount},
        {[&] { return new Frame::LinearVuMeterPhData(2, tags, nullptr); }, viaChannelCount},
    };
    for (const auto& [make, grow] : kinds) {
        int refusals = 0;
        for (long n = 0;; ++n) {
            SCOPED_TRACE(n);
            Frame::CurveData* d = make();
            d->setValue(0, 0.25f);
            d->setValue(1, 0.5f);
            const std::vector<float> before = readable(*d);
            bool refused = false, failed = false;
            {
                countdown::Fail fail(n);
                try {
                    grow(*d);
                } catch (const std::bad_alloc&) {
                    refused = true;
                }
                failed = fail.failed();
            }
            if (refused) {
                ++refusals;
                EXPECT_EQ(readable(*d), before);
            } else {
                EXPECT_EQ(d->getCount(), 4u);
            }
            d->release();
            if (!failed)
                break;
        }
        EXPECT_GT(refusals, 0);
    }
}

} // namespace
