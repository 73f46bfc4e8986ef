// The display the host draws from the skin: sub-views, bars where the values put them, clicks that
// reach the plug-in, and tear-down in every order.
#include "tests/pluginset/views_fixture.h"

#include <cmath>
#include <cstdlib>

#include "pluginset/common/qel/views/vumeterviews.h"

using namespace Calvereth;
using namespace viewstest;

namespace {

// The part of the SVG drawn by one sub-view.
std::string subViewSvg(const std::string& svg, const std::string& name)
{
    auto begin = svg.find("<g data-view=\"" + name + "\"");
    if (begin == std::string::npos)
        return {};
    auto end = svg.find("</g>", begin);
    return svg.substr(begin, end - begin);
}

class DisplayTest : public ControllerTest
{};

} // namespace

TEST_F(DisplayTest, ClickOnTheLoudnessBarClearsItsReadout)
{
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    controller->setParamNormalized(8, 0.7);
    float v = 0.f;
    controller->getMomentaryData()->getValue(Frame::kVuPeakReadout, v);
    EXPECT_EQ(v, 0.7f);
    EXPECT_TRUE(editor->click(25, 100));
    controller->getMomentaryData()->getValue(Frame::kVuPeakReadout, v);
    EXPECT_EQ(v, 0.f);
    host->idle();
    EXPECT_EQ(peer->count("resetMaxLevelIn") + peer->count("resetMaxLevelOut"), 0);
    EXPECT_FALSE(editor->click(315, 5)); // nothing there
    closeEditor();
}

TEST_F(DisplayTest, ClicksOnTheChannelMetersAskTheProcessorForResets)
{
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->click(250, 270)); // inputvumax
    EXPECT_EQ(peer->count("resetMaxLevelIn"), 1);
    EXPECT_TRUE(editor->click(130, 290)); // outputvu: both maximum ids alike, so the input's reset
    EXPECT_EQ(peer->count("resetMaxLevelIn"), 2);
    EXPECT_EQ(peer->count("resetMaxLevelOut"), 0);
    closeEditor();
}

TEST_F(DisplayTest, ChannelMetersNeverReadPastTheirData)
{
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    // No channels yet: only backgrounds.
    std::string svg = editor->renderSvg();
    EXPECT_EQ(subViewSvg(svg, "inputvu").find("bmAudioPlugMeterHorizFore"), std::string::npos);
    Qel::IMessage* channels = hostMessage("nChannels");
    channels->getAttributes()->setInt("nChannelsIn", 6);
    channels->getAttributes()->setInt("nChannelsOut", 0);
    controller->notify(channels);
    channels->release();
    host->idle();
    EXPECT_EQ(controller->getInput().meterData->getCount(), 6u);
    svg = editor->renderSvg();
    EXPECT_NE(subViewSvg(svg, "inputvu").find("bmAudioPlugMeterHorizBack"), std::string::npos);
    EXPECT_EQ(subViewSvg(svg, "outputvu").find("bmAudioPlugMeterHorizFore"), std::string::npos);
    controller->onIdle();
    closeEditor();
}

TEST_F(DisplayTest, SegmentLayout)
{
    ASSERT_NE(openEditor(), nullptr);
    auto* skin = reinterpret_cast<ISkinService*>(&host->skin());
    auto* data = new Frame::VuMeterData(2, Frame::TagList{1, 2}, nullptr);
    // One channel: the bitmap's width, centred.
    data->setChannelCount(1);
    Frame::VuMeterView* one = Frame::createMeterView(data, 2, ViewRect(0, 0, 28, 240), {}, nullptr, skin);
    ASSERT_NE(one, nullptr);
    ASSERT_EQ(one->getSegments().size(), 1u);
    EXPECT_EQ(one->getSegments()[0].left, 4);
    EXPECT_EQ(one->getSegments()[0].right, 24);
    EXPECT_EQ(one->getSegments()[0].bottom, 240);
    // Two channels in less than two bitmaps: bars with a gap, the remainder shared out.
    data->setChannelCount(2);
    Frame::VuMeterView* two = Frame::createMeterView(data, 2, ViewRect(0, 0, 30, 240), {}, nullptr, skin);
    ASSERT_EQ(two->getSegments().size(), 2u);
    EXPECT_EQ(two->getSegments()[0].left, 0);
    EXPECT_EQ(two->getSegments()[0].right, 14);
    EXPECT_EQ(two->getSegments()[1].left, 16);
    EXPECT_EQ(two->getSegmentWidth(), 14);
    // No channels: no bars, no division.
    data->setChannelCount(0);
    one->layoutSegments();
    EXPECT_EQ(one->getChannelCount(), 0);
    EXPECT_TRUE(one->getSegments().empty());
    one->release();
    two->release();
    // Without bitmaps there is no meter view.
    EXPECT_EQ(Frame::createMeterView(data, 2, ViewRect(0, 0, 28, 240), {}, nullptr, nullptr), nullptr);
    data->release();
    closeEditor();
}

namespace {

// A foreground bitmap that tells its size as the skin's bitmaps do.
struct SizedBitmap final : Calvereth::IBitmapExtent
{
    SizedBitmap(int32 w, int32 h) : width(w), height(h) {}
    tresult queryInterface(const TUID iid, void** obj) override
    {
        *obj = iidEqual(iid, IBitmapExtent::iid) ? this : nullptr;
        return *obj ? kResultOk : kNoInterface;
    }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    void bitmapExtentSlot3() override {}
    void bitmapExtentSlot4() override {}
    tresult getExtent(int32& w, int32& h) override
    {
        w = width;
        h = height;
        return kResultOk;
    }
    int32 width, height;
};

} // namespace

// Every way the bars share the view: (channels, view size and bitmap size across the bars) give the
// bars' first pixel, width and distance; the same across the view for both orientations.
TEST(ViewsMeterLayout, EveryRowVerticalAndHorizontal)
{
    const struct
    {
        int32 channels, size, bitmap;
        int32 first, bar, pitch;
    } rows[] = {
        {1, 28, 20, 4, 20, 0},    // one bar, narrower bitmap: centred
        {1, 16, 20, 0, 16, 0},    // one bar, wider bitmap: as wide as the view
        {3, 100, 20, 18, 20, 21}, // room to spare: bitmap-wide bars with gaps, centred as a group
        {2, 30, 20, 0, 14, 16},   // a pixel left over between two bars: the gap takes it
        {3, 23, 20, 0, 7, 8},     // a pixel left over for each bar: bars one wider
        {4, 41, 20, 1, 9, 10},    // two pixels left over: one on each side
        {3, 30, 20, 0, 9, 10},    // one pixel left over among three: it stays at the end
    };
    const int32 extent = 100;
    auto corners = [](const ViewRect& r) {
        return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
               std::to_string(r.bottom);
    };
    auto* data = new Frame::VuMeterData(4, Frame::TagList{1, 2, 3, 4}, nullptr);
    for (const auto& row : rows) {
        data->setChannelCount(row.channels);
        for (bool vertical : {true, false}) {
            SizedBitmap fg(vertical ? row.bitmap : extent, vertical ? extent : row.bitmap);
            Frame::VuMeterView* view;
            if (vertical)
                view = new Frame::VuMeterVertiView(data, 4, ViewRect(0, 0, row.size, 120), {}, &fg, nullptr);
            else
                view = new Frame::VuMeterHorizView(data, 4, ViewRect(0, 0, 120, row.size), {}, &fg, nullptr);
            view->layoutSegments();
            const auto& bars = view->getSegments();
            ASSERT_EQ(static_cast<int32>(bars.size()), row.channels) << row.size;
            for (int32 i = 0; i < row.channels; ++i) {
                const int32 pos = row.first + i * row.pitch;
                const ViewRect want =
                    vertical ? ViewRect(pos, 0, pos + row.bar, extent) : ViewRect(0, pos, extent, pos + row.bar);
                EXPECT_EQ(corners(bars[i]), corners(want))
                    << row.channels << "/" << row.size << " bar " << i << " vertical " << vertical;
            }
            EXPECT_EQ(vertical ? view->getSegmentWidth() : view->getSegmentHeight(), row.bar);
            EXPECT_EQ(vertical ? view->getSegmentHeight() : view->getSegmentWidth(), extent);
            view->release();
        }
    }
    data->release();
}

TEST_F(DisplayTest, PeakReadoutTexts)
{
    auto* data = new Frame::VuMeterData(1, Frame::TagList{1}, nullptr);
    auto* view = new Frame::VuMeterPeakView(data, 1, ViewRect(0, 0, 40, 14), {}, 0xFF00FF00, 0xFFFF0000);
    DrawRecorder sink;
    auto show = [&](float peak) {
        data->setValue(Frame::kVuPeakReadout, peak);
        view->draw(&sink, view->getLocalRect());
        return sink.text;
    };
    EXPECT_EQ(show(1.f), "0.0");
    EXPECT_EQ(sink.color, 0xFF00FF00u);
    EXPECT_EQ(show(1.001f), "0.0");
    EXPECT_EQ(sink.color, 0xFFFF0000u);
    EXPECT_EQ(show(0.9995f), "0.0");
    EXPECT_EQ(show(0.5f), "-6.0");
    EXPECT_EQ(show(1e-6f), "-oo");
    EXPECT_EQ(show(std::nanf("")), "--"); // a peak with no value
    EXPECT_EQ(show(INFINITY), "--");
    view->release();
    data->release();
}

TEST_F(DisplayTest, BarsStayWithinTheViewWhateverTheValues)
{
    ASSERT_NE(openEditor(), nullptr);
    auto* data = new Frame::VuMeterPhData(3, Frame::TagList{1, 2, 3}, nullptr);
    data->setChannelCount(3);
    Frame::VuMeterView* view = Frame::createPeakHoldMeterView(data, 3, ViewRect(0, 0, 60, 240), {}, nullptr,
                                                              reinterpret_cast<ISkinService*>(&host->skin()));
    ASSERT_NE(view, nullptr);
    const float positions[] = {1e30f, std::nanf(""), -1e30f};
    data->setValues(positions, 3);
    DrawRecorder sink;
    view->draw(&sink, view->getLocalRect());
    ASSERT_EQ(sink.bitmaps.size(), 7u); // the background, three bars, three held peaks
    ASSERT_EQ(sink.lines.size(), 3u);
    for (auto* drawn : {&sink.bitmaps, &sink.lines})
        for (const ViewRect& r : *drawn) { // a held peak at the floor is the one row below the bar
            EXPECT_GE(r.top, 0);
            EXPECT_LE(r.bottom, 241);
        }
    view->release();
    data->release();
    closeEditor();
}

// Tear-down in every order leaves nothing behind (checked by the sanitizer build).
TEST(ViewsTeardown, EveryOrder)
{
    for (int order = 0; order < 4; ++order) {
        auto* app = new qelhost::HostApplication;
        auto* host = newFrameHost(app);
        auto* c = new Norrik::SmallBigMeterController;
        ASSERT_EQ(c->initialize(plug(static_cast<qelhost::IFrameHost*>(host))), kResultOk);
        IPlugView* editor = c->createView("editor");
        ASSERT_NE(editor, nullptr);
        c->setParamNormalized(1, 0.5); // leaves a change pending
        switch (order) {
        case 0: // editor closed first
            editor->release();
            c->terminate();
            c->release();
            break;
        case 1: // controller ends while the editor still shows it
            c->terminate();
            c->release();
            host->idle();
            qelhost::asEditorView(reinterpret_cast<qelhost::IPlugView*>(editor))->renderSvg();
            editor->release();
            break;
        case 2: // terminated, editor closed, then released
            c->terminate();
            editor->release();
            c->release();
            break;
        case 3: // the host goes first, then the plug-in's objects
            host->shutdown();
            c->terminate();
            c->release();
            editor->release();
            break;
        }
        EXPECT_EQ(EditController2::getViewServicesUserCount(), 0) << order;
        EXPECT_EQ(Frame::getFrameServicesUserCount(), 0) << order;
        // Every view left the handler it registered with, whoever went first.
        EXPECT_EQ(host->updateHandler().dependentCount(), 0u) << order;
        EXPECT_EQ(host->idleRegistry().count(), 0u) << order;
        host->shutdown();
        host->release();
        app->release();
    }
}
