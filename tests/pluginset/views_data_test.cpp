// Data objects and meter data: tags, ballistics, peak holds and the position table.
#include "tests/pluginset/views_fixture.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "pluginset/common/qel/views/dataview.h"
#include "pluginset/common/qel/views/vumeterdata.h"

using namespace Calvereth;
using namespace Calvereth::Frame;
using namespace viewstest;

namespace {

// Frame services with a clock the test sets.
struct ClockFixture : HostFixture
{
    void SetUp() override
    {
        HostFixture::SetUp();
        host->frameSystem().clock = [this] { return ms; };
        ASSERT_TRUE(Frame::initFrameServices(context()));
    }
    float get(CurveData& d, int32 tag)
    {
        float v = -1.f;
        EXPECT_TRUE(d.getValue(tag, v)) << tag;
        return v;
    }
    int32 ms = 0;
};

} // namespace

TEST(ViewsCurveData, TagsPositionsAndSizes)
{
    auto* d = new CurveData(2, TagList{7, 8, 9}, nullptr);
    float v = 0.f;
    d->setValue(8, 0.5f);
    EXPECT_TRUE(d->getValue(8, v));
    EXPECT_EQ(v, 0.5f);
    EXPECT_TRUE(d->hasTag(9));
    EXPECT_FALSE(d->getValue(9, v)); // position 2 is beyond the two values
    d->setValue(9, 1.f);             // nothing
    d->setValue(42, 1.f);
    EXPECT_FALSE(d->getValue(42, v));
    const float src[3] = {1.f, 2.f, 3.f};
    d->setValues(src, 3); // one too many: nothing copied
    EXPECT_EQ(d->getValues()[0], 0.f);
    d->setValues(src, 2);
    EXPECT_EQ(d->getValues()[1], 2.f);
    d->resize(1); // smaller: unchanged
    EXPECT_EQ(d->getCount(), 2u);
    EXPECT_EQ(d->getValues()[1], 2.f);
    d->resize(4); // larger: zeroed
    EXPECT_EQ(d->getCount(), 4u);
    EXPECT_EQ(d->getValueCount(), 4u);
    EXPECT_EQ(d->getValues()[1], 0.f);
    d->release();
}

TEST(ViewsVuMeterData, PositionTableWithoutHost)
{
    auto* d = new VuMeterData(1, TagList{1}, nullptr);
    float v = 0.f;
    d->setValue(1, 5.f); // above the maximum level: shown at the top
    d->getValue(1, v);
    EXPECT_FLOAT_EQ(v, 1.f);
    d->setValue(1, -0.5f); // negative: 0 (without a clock nothing decays)
    d->getValue(1, v);
    EXPECT_EQ(v, 0.f);
    d->setValue(1, static_cast<float>(std::pow(10.0, -1.2))); // -24 dB
    d->getValue(1, v);
    EXPECT_NEAR(v, 0.32, 0.005);
    d->setValue(1, 2e-5f); // above silence, table 0: a sliver
    d->getValue(1, v);
    EXPECT_FLOAT_EQ(v, static_cast<float>(d->getTableValue(1) * 0.5));
    d->setValue(1, 1e-5f); // below silence
    d->getValue(1, v);
    EXPECT_EQ(v, 0.f);
    d->setValue(1, std::nanf(""));
    d->getValue(1, v);
    EXPECT_EQ(v, 0.f);
    EXPECT_EQ(d->getTableValue(0), 0.0);
    EXPECT_NEAR(d->getTableValue(999), 1.0, 1e-12);
    for (int32 i = 1; i < VuMeterData::kTableSize; ++i)
        ASSERT_GT(d->getTableValue(i), d->getTableValue(i - 1)) << i;
    d->release();
}

TEST_F(ClockFixture, LevelsRiseAtOnceAndFallAtTheFallFactor)
{
    auto* d = new LinearVuMeterPhData(1, TagList{1}, nullptr);
    ms = 1000;
    d->setValue(1, 0.8f);
    EXPECT_FLOAT_EQ(get(*d, 1), 0.8f);
    ms = 1250; // 0.25 s at 2 per second: half
    d->setValue(1, 0.f);
    EXPECT_NEAR(get(*d, 1), 0.4, 1e-6);
    ms = 1500;
    d->setValue(1, 0.f);
    EXPECT_NEAR(get(*d, 1), 0.2, 1e-6);
    ms = 1600; // a louder input is shown at once
    d->setValue(1, 0.9f);
    EXPECT_FLOAT_EQ(get(*d, 1), 0.9f);
    ms = 3000; // decayed below zero: 0
    d->setValue(1, 0.f);
    EXPECT_EQ(get(*d, 1), 0.f);
    d->release();
}

// A host clock that has run for days falls as smoothly as a fresh one: 50 ms steps take 10 % each.
TEST_F(ClockFixture, FallIsSmoothAfterDaysOfHostClock)
{
    auto* d = new LinearVuMeterPhData(1, TagList{1}, nullptr);
    ms = 3 * 86400 * 1000 + 7;
    d->setValue(1, 1.f);
    double expected = 1.0;
    for (int step = 0; step < 6; ++step) {
        ms += 50;
        d->setValue(1, 0.f);
        expected *= 0.9;
        EXPECT_NEAR(get(*d, 1), expected, 1e-5) << step;
    }
    d->release();
}

TEST_F(ClockFixture, HeldPeakHoldsThenFallsMaximumStaysUntilCleared)
{
    auto* d = new LinearVuMeterPhData(1, TagList{1}, nullptr);
    EXPECT_EQ(d->getPeakHoldTime(), 2.f);
    EXPECT_EQ(d->getPeakFallFactor(), 2.f);
    ms = 1000;
    d->setValue(1, 0.8f);
    ms = 2900; // within the hold time
    d->setValue(1, 0.1f);
    EXPECT_NEAR(get(*d, kVuHeldPeak), 0.8, 1e-6);
    ms = 3000; // hold over: falls by the peak fall factor for the step
    d->setValue(1, 0.1f);
    EXPECT_NEAR(get(*d, kVuHeldPeak), 0.8 * (1.0 - 2.0 * 0.1), 1e-5);
    ms = 3100;
    d->setValue(1, 0.1f);
    EXPECT_NEAR(get(*d, kVuHeldPeak), 0.8 * 0.8 * 0.8, 1e-5);
    EXPECT_NEAR(get(*d, kVuChannelMaximum), 0.8, 1e-6);
    d->clearPeakHold();
    EXPECT_EQ(get(*d, kVuChannelMaximum), 0.f);
    ms = 3200;
    d->setValue(1, 0.3f); // the maximum follows the held peak again
    EXPECT_NEAR(get(*d, kVuChannelMaximum), get(*d, kVuHeldPeak), 1e-6);
    d->release();
}

TEST_F(ClockFixture, ClockStepBackGrowsNothing)
{
    auto* d = new LinearVuMeterPhData(1, TagList{1}, nullptr);
    ms = 50000;
    d->setValue(1, 0.5f);
    ms = 10000; // the clock went back 40 s
    d->setValue(1, 0.f);
    EXPECT_LE(get(*d, 1), 0.5f);
    EXPECT_LE(get(*d, kVuHeldPeak), 0.5f);
    auto* mapped = new VuMeterData(1, TagList{1}, nullptr);
    ms = 50000;
    mapped->setValue(1, 1.4f);
    ms = 0;
    mapped->setValue(1, 0.f);
    EXPECT_LE(get(*mapped, 1), 1.f);
    mapped->release();
    d->release();
}

// A host's milliseconds in 32 bits wrap after 24.8 days: across the wrap the level falls and the
// peak holds and falls as they do on a clock that has not wrapped. A clock that steps back counts
// no time for that update: the hold ends one update later, not 40 s later.
TEST_F(ClockFixture, HoldEndsOnTimeWhenTheClockWrapsOrStepsBack)
{
    // A peak of 0.8, then 0.1 every 100 ms; at `jumpAt` the clock goes back 40 s instead.
    auto shown = [this](int32 start, int jumpAt) {
        auto* d = new LinearVuMeterPhData(1, TagList{1}, nullptr);
        std::vector<std::pair<float, float>> levelAndHeld;
        auto clock = static_cast<uint32>(start);
        for (int step = 0; step < 30; ++step) {
            clock += step == 0 ? 0u : step == jumpAt ? static_cast<uint32>(-40000) : 100u;
            ms = static_cast<int32>(clock);
            d->setValue(1, step == 0 ? 0.8f : 0.1f);
            levelAndHeld.emplace_back(get(*d, 1), get(*d, kVuHeldPeak));
        }
        d->release();
        return levelAndHeld;
    };
    const auto plain = shown(1000, -1);
    EXPECT_EQ(shown(INT32_MAX - 1049, -1), plain); // wraps between updates 10 and 11
    const auto back = shown(1000, 11);
    for (size_t k = 0; k < back.size(); ++k)
        EXPECT_EQ(back[k], plain[k < 11 ? k : k - 1]) << k;
    EXPECT_LT(plain.back().second, 0.8f * 0.5f); // the hold did end
}

TEST_F(ClockFixture, PeakCodesOnlyForChannelsTheDataHolds)
{
    auto* d = new LinearVuMeterPhData(2, TagList{1, 2}, nullptr);
    float v = 0.f;
    EXPECT_TRUE(d->getValue(kVuHeldPeak + 1, v));
    EXPECT_FALSE(d->getValue(kVuHeldPeak + 2, v));
    EXPECT_FALSE(d->getValue(kVuChannelMaximum + 11, v));
    EXPECT_FALSE(d->getValue(kVuChannelMaximum - 1, v)); // 5008: no such code
    d->release();
}

TEST_F(ClockFixture, ChangesAreDeferredOnce)
{
    auto* d = new VuMeterData(1, TagList{4}, nullptr);
    auto& updates = host->updateHandler();
    d->setValue(99, 1.f); // not a tag of the data
    EXPECT_EQ(updates.pendingCount(), 0u);
    ms = 100;
    d->setValue(4, 0.5f);
    EXPECT_EQ(updates.pendingCount(), 1u);
    d->setValue(kVuPeakReadout, 0.25f);
    EXPECT_EQ(updates.pendingCount(), 1u); // the same change message
    EXPECT_EQ(get(*d, kVuPeakReadout), 0.25f);
    d->setValue(kVuFurtherValue, 3.f);
    EXPECT_EQ(get(*d, kVuFurtherValue), 3.f);
    updates.deliver();
    d->setValue(kVuPeakReadout, 0.25f); // unchanged: no message
    EXPECT_EQ(updates.pendingCount(), 0u);
    d->setChannelCount(3); // the data grows to the channels
    EXPECT_EQ(d->getCount(), 3u);
    EXPECT_EQ(get(*d, kVuChannelCount), 3.f);
    d->setValue(kVuChannelCount, -2.f);
    EXPECT_EQ(d->getChannelCount(), 0);
    updates.deliver();
    d->release();
}

// The plain data view draws the values as a line over its background, never more than the data holds.
TEST_F(ClockFixture, DataViewDrawsWithinItsData)
{
    DrawRecorder ctx;
    auto* d = new CurveData(3, TagList{0, 1, 2}, nullptr);
    d->setValue(0, 0.f);
    d->setValue(1, 1.f);
    d->setValue(2, 0.5f);
    auto* view = new DataView<double>(d, 8, ViewRect(0, 0, 20, 10)); // asks for more points than there are
    view->draw(&ctx, ViewRect(-5, -5, 100, 100));
    ASSERT_EQ(ctx.rects.size(), 1u);
    EXPECT_EQ(ctx.rects[0].right, 20); // clipped to the view
    ASSERT_EQ(ctx.lines.size(), 2u);
    EXPECT_EQ(ctx.lines[0].left, 0);
    EXPECT_EQ(ctx.lines[0].top, 10);
    EXPECT_EQ(ctx.lines[0].right, 2);
    EXPECT_EQ(ctx.lines[0].bottom, 0);
    EXPECT_EQ(host->updateHandler().dependentCount(), 1u);
    view->update(d->unknownCast(), 1); // no host view: nothing to repaint, nothing breaks
    EXPECT_EQ(view->mouseDown(1, 1), kResultOk);
    view->release();
    EXPECT_EQ(host->updateHandler().dependentCount(), 0u);
    d->release();
}

// Values far beyond the view, or no number, are drawn at its edges, in either precision.
template <typename T>
void drawExtremes()
{
    DrawRecorder ctx;
    auto* d = new CurveData(5, TagList{0, 1, 2, 3, 4}, nullptr);
    const float values[5] = {-5e31f, 5e31f, std::nanf(""), 0.5f, 3e9f};
    d->setValues(values, 5);
    auto* view = new DataView<T>(d, 5, ViewRect(0, 0, 20, 10));
    view->draw(&ctx, ViewRect(0, 0, 20, 10));
    ASSERT_EQ(ctx.lines.size(), 4u);
    const int32 ys[5] = {10, 0, 10, 5, 0};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ctx.lines[i].left, i * 5) << i;
        EXPECT_EQ(ctx.lines[i].top, ys[i]) << i;
        EXPECT_EQ(ctx.lines[i].bottom, ys[i + 1]) << i;
    }
    view->release();
    d->release();
}

TEST_F(ClockFixture, DataViewKeepsExtremeValuesAtItsEdges)
{
    drawExtremes<double>();
    drawExtremes<float>();
}
