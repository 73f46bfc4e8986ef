// A richer host: meter settings, scale mapper, meter bitmaps made to size and colour groups.
#include "tests/pluginset/views_fixture.h"

#include "host/frame_extras.h"
#include "pluginset/common/qel/views/vumeterviews.h"

using namespace Calvereth;
using namespace viewstest;

namespace {

class RichHost : public ControllerTest
{
protected:
    void configureHost(qelhost::FrameHost& h) override { h.offerExtras(); }
};

} // namespace

TEST_F(RichHost, MeterSettingsAndScaleMapperShapeTheData)
{
    auto* data = new Frame::VuMeterPhData(1, Frame::TagList{7}, nullptr);
    EXPECT_FLOAT_EQ(data->getFallFactor(), 0.5f);
    EXPECT_FLOAT_EQ(data->getPeakFallFactor(), 0.75f);
    EXPECT_FLOAT_EQ(data->getPeakHoldTime(), 1.0f);
    ASSERT_TRUE(data->hasScaleMapper());
    data->setValue(7, 0.70626877f); // half of +3 dB through the host's linear mapping
    float v = 0.f;
    data->getValue(7, v);
    EXPECT_NEAR(v, 0.5, 1e-6);
    EXPECT_EQ(host->scaleMapper()->lastViewType, 1001);
    data->releaseScaleMapper();
    EXPECT_FALSE(data->hasScaleMapper());
    data->release();
    // The momentary bar maps by itself: its data gave the mapper back.
    EXPECT_FALSE(controller->getMomentaryData()->hasScaleMapper());
}

TEST_F(RichHost, FallSettingAboveOneNeverRaisesTheMeter)
{
    host->meterSettings()->fall = 3.f;
    host->meterSettings()->peakFall = 3.f;
    int32 ms = 1000;
    host->frameSystem().clock = [&] { return ms; };
    auto* data = new Frame::VuMeterPhData(1, Frame::TagList{7}, nullptr);
    data->releaseScaleMapper();
    EXPECT_FLOAT_EQ(data->getFallFactor(), 2.f); // the default stays
    data->setValue(7, 1.f);
    for (int idle = 0; idle < 40; ++idle) {
        ms += 100;
        data->setValue(7, 0.f);
        float shown = 0.f, held = 0.f, maximum = 0.f;
        data->getValue(7, shown);
        ASSERT_TRUE(data->getValue(Frame::kVuHeldPeak, held));
        ASSERT_TRUE(data->getValue(Frame::kVuChannelMaximum, maximum));
        for (float v : {shown, held, maximum}) {
            EXPECT_GE(v, 0.f) << idle;
            EXPECT_LE(v, 1.f) << idle;
        }
        EXPECT_LE(data->getCurrentLevel(0), 1.f) << idle;
    }
    data->release();
    host->frameSystem().clock = nullptr;
}

TEST_F(RichHost, BitmapsMadeToSizeAndRemadeOnScaleChange)
{
    auto* data = new Frame::VuMeterData(2, Frame::TagList{1, 2}, nullptr);
    data->setChannelCount(2);
    auto* bitmaps = host->bitmapService();
    const int before = bitmaps->made;
    Frame::VuMeterView* view = Frame::createMeterView(data, 2, ViewRect(0, 0, 30, 100), {}, nullptr, nullptr);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(bitmaps->made, before + 2);
    EXPECT_EQ(bitmaps->lastType, 1001);
    EXPECT_TRUE(view->hasBitmapService());
    IHostView* hv = view->createHostView();
    ASSERT_NE(hv, nullptr);
    auto name = [](FUnknown* b) {
        return dynamic_cast<qelhost::SkinBitmap*>(reinterpret_cast<qelhost::IBitmapExtent*>(b))->def().name;
    };
    const std::string oldFore = name(view->getForeground());
    // The host's scale changed: the view makes its foreground again and repaints.
    host->updateHandler().triggerUpdates(static_cast<qelhost::IMeterBitmapService*>(bitmaps), 1);
    EXPECT_EQ(bitmaps->made, before + 3);
    EXPECT_NE(name(view->getForeground()), oldFore);
    EXPECT_GT(dynamic_cast<qelhost::HostView*>(reinterpret_cast<qelhost::IHostView*>(hv))->invalidations, 0);
    hv->release(); // the host closes the view
    EXPECT_EQ(host->updateHandler().dependentCount(), 0u);
    data->release();
}

TEST_F(RichHost, SkinReceivesColourGroupsAndTheEditorUsesBothBitmapKinds)
{
    EXPECT_EQ(host->skin().colorGroupsApplied(), 1);
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    controller->setParamNormalized(1, norm(1, -23.0));
    const std::string svg = editor->renderSvg();
    EXPECT_NE(svg.find("data-bitmap=\"host-back-"), std::string::npos);             // the channel meters
    EXPECT_NE(svg.find("data-bitmap=\"bmAudioPlugMeterFore\""), std::string::npos); // the loudness bar
    closeEditor();
}

TEST(ViewsRichHost, ContextWithItsOwnColourGroupsGetsNoSkin)
{
    auto* app = new qelhost::HostApplication;
    auto* host = newFrameHost(app);
    host->offerExtras(true);
    auto* c = new Norrik::SmallBigMeterController;
    ASSERT_EQ(c->initialize(plug(static_cast<qelhost::IFrameHost*>(host))), kResultOk);
    EXPECT_EQ(c->getSkinService(), nullptr);
    EXPECT_EQ(c->createView("editor"), nullptr);
    c->terminate();
    c->release();
    host->release();
    app->release();
}
