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

struct Placed
{
    int x = -1, y = -1, w = -1, h = -1;
};

// The number of attribute `name` in the element starting at `at`.
int attributeAt(const std::string& s, std::size_t at, const std::string& name)
{
    auto end = s.find('>', at);
    auto p = s.find(" " + name + "=\"", at);
    return p == std::string::npos || p > end ? -1 : std::atoi(s.c_str() + p + name.size() + 3);
}

Placed bitmapIn(const std::string& part, const std::string& bitmap)
{
    Placed p;
    auto at = part.find("<svg data-bitmap=\"" + bitmap + "\"");
    if (at != std::string::npos)
        p = {attributeAt(part, at, "x"), attributeAt(part, at, "y"), attributeAt(part, at, "width"),
             attributeAt(part, at, "height")};
    return p;
}

std::string textOf(const std::string& svg, const std::string& value)
{
    auto at = svg.find("<text data-value=\"" + value + "\"");
    if (at == std::string::npos)
        return "<none>";
    auto begin = svg.find('>', at) + 1;
    return svg.substr(begin, svg.find("</text>", begin) - begin);
}

// Records what a view draws.
struct Sink : IDrawContext
{
    tresult queryInterface(const TUID, void**) override { return kNoInterface; }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    void setLineColor(uint32, int32, float) override {}
    void setFillColor(uint32, float) override {}
    void setFont(const char16*, int32, int32, float) override {}
    void drawContextSlot6() override {}
    void setFontColor(uint32 c) override { color = c; }
    void drawLine(const FramePoint& a, const FramePoint& b) override { drawn.push_back(ViewRect(a.x, a.y, b.x, b.y)); }
    void drawRect(const ViewRect&, int32) override {}
    void drawContextSlot10() override {}
    void drawContextSlot11() override {}
    void drawContextSlot12() override {}
    void drawString(const char16* t, const ViewRect&, int32, int32) override { text = viewstest::text(t); }
    void drawContextSlot14() override {}
    void drawContextSlot15() override {}
    void drawContextSlot16() override {}
    void drawContextSlot17() override {}
    void drawBitmap(FUnknown*, const ViewRect&, const ViewRect& to) override { drawn.push_back(to); }
    uint32 color = 0;
    std::string text;
    std::vector<ViewRect> drawn;
};

class DisplayTest : public ControllerTest
{};

} // namespace

TEST_F(DisplayTest, EditorBuildsTheSkinsSubViews)
{
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->def().name, "AudioPlugSmallBigMeter");
    EXPECT_EQ(editor->subViewCount(), 5u);
    for (const char* name : {"loudnessMView", "inputvu", "outputvu", "inputvumax", "outputvumax"})
        EXPECT_NE(editor->subView(name), nullptr) << name;
    // Each view told its data's listener it came.
    EXPECT_EQ(controller->getSkinService(), reinterpret_cast<ISkinService*>(&host->skin()));
    closeEditor();
}

TEST_F(DisplayTest, MinusTwentyThreeDrawsTheBarTwoThirdsUp)
{
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    controller->setParamNormalized(1, norm(1, -23.0));
    controller->setParamNormalized(3, norm(3, -23.0));
    controller->setParamNormalized(2, norm(2, -23.0));
    controller->setParamNormalized(11, norm(11, -20.0));
    host->idle();
    const std::string svg = editor->renderSvg();
    const std::string bar = subViewSvg(svg, "loudnessMView");
    ASSERT_FALSE(bar.empty());
    // 240 pixels from -36 to +18 LU: -23 LUFS (0 LU) lies 80 pixels below the top.
    Placed fore = bitmapIn(bar, "bmAudioPlugMeterFore");
    EXPECT_EQ(fore.x, 0);
    EXPECT_EQ(fore.y, 80);
    EXPECT_EQ(fore.w, 20);
    EXPECT_EQ(fore.h, 160);
    Placed back = bitmapIn(bar, "bmAudioPlugMeterBack");
    EXPECT_EQ(back.y, 0);
    EXPECT_EQ(back.h, 240);
    EXPECT_EQ(textOf(svg, "loudnessI"), "-23.0");
    EXPECT_EQ(textOf(svg, "truePeak"), "-20.0 dB");
    EXPECT_EQ(textOf(svg, "scaleModeLoudness"), "LUFS");
    EXPECT_NE(svg.find("data-value=\"LoudnessSIndicator\" x1=\"44\" y1=\"120\""), std::string::npos);
    closeEditor();
}

TEST_F(DisplayTest, ClickOnTheLoudnessBarClearsItsReadout)
{
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    controller->setParamNormalized(8, 0.7);
    float v = 0.f;
    controller->getMomentaryData()->getValue(Frame::kVuPeakReadout, v);
    EXPECT_EQ(v, 0.7f);
    const int before = editor->subView("loudnessMView")->invalidations;
    EXPECT_TRUE(editor->click(25, 100));
    controller->getMomentaryData()->getValue(Frame::kVuPeakReadout, v);
    EXPECT_EQ(v, 0.f);
    EXPECT_GT(editor->subView("loudnessMView")->invalidations, before);
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

TEST_F(DisplayTest, ResetButtonEditsTheParameter)
{
    std::vector<std::pair<uint32, double>> edits;
    auto* handler = new qelhost::ComponentHandler([&](uint32 id, double v) { edits.emplace_back(id, v); });
    controller->setComponentHandler(
        reinterpret_cast<Qel::IComponentHandler*>(static_cast<qelhost::IComponentHandler*>(handler)));
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->click(120, 245));
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[0], std::make_pair(4u, 1.0));
    EXPECT_EQ(edits[1], std::make_pair(4u, 0.0));
    closeEditor();
    controller->setComponentHandler(nullptr);
    handler->release();
}

TEST_F(DisplayTest, ChannelMetersNeverReadPastTheirData)
{
    qelhost::EditorView* editor = openEditor();
    ASSERT_NE(editor, nullptr);
    // No channels yet: only backgrounds.
    std::string svg = editor->renderSvg();
    EXPECT_EQ(bitmapIn(subViewSvg(svg, "inputvu"), "bmAudioPlugMeterHorizFore").x, -1);
    Qel::IMessage* channels = hostMessage("nChannels");
    channels->getAttributes()->setInt("nChannelsIn", 6);
    channels->getAttributes()->setInt("nChannelsOut", 0);
    controller->notify(channels);
    channels->release();
    host->idle();
    EXPECT_EQ(controller->getInput().meterData->getCount(), 6u);
    svg = editor->renderSvg();
    EXPECT_NE(subViewSvg(svg, "inputvu").find("bmAudioPlugMeterHorizBack"), std::string::npos);
    EXPECT_EQ(bitmapIn(subViewSvg(svg, "outputvu"), "bmAudioPlugMeterHorizFore").x, -1);
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

TEST_F(DisplayTest, PeakReadoutTexts)
{
    auto* data = new Frame::VuMeterData(1, Frame::TagList{1}, nullptr);
    auto* view = new Frame::VuMeterPeakView(data, 1, ViewRect(0, 0, 40, 14), {}, 0xFF00FF00, 0xFFFF0000);
    Sink sink;
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
    Sink sink;
    view->draw(&sink, view->getLocalRect());
    ASSERT_GT(sink.drawn.size(), 3u);
    for (const ViewRect& r : sink.drawn) { // a held peak at the floor is the one row below the bar
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
