// A reset after the collectors have folded windows into their histograms leaves nothing behind:
// what they read afterwards is what collectors that never saw the earlier windows read. And the
// loudness range read from the histogram takes its percentiles at the right rank.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "dsp/collectors.h"

using namespace DSP;

namespace {

// More windows than the exact store holds, falling from -20 to -30 LUFS so that every bin between
// is taken (and the range's sorted store takes each at its head).
std::vector<float> fallingWindows()
{
    const int count = CollectorOverlap::kCapacity + 20000;
    std::vector<float> z(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        z[static_cast<size_t>(i)] = static_cast<float>(std::pow(10.0, (-20.0 - 10.0 * i / count + 0.691) / 10.0));
    return z;
}

template <class Collector>
void feed(Collector& c, void (Collector::*step)(int32, float), const std::vector<float>& windows)
{
    for (float z : windows)
        (c.*step)(c.getWindowLength(), z);
}

// Fills `used`, resets it, then feeds it and `fresh` the same windows.
template <class Collector>
void fillResetAndRefeed(Collector& used, Collector& fresh, void (Collector::*step)(int32, float))
{
    const std::vector<float> windows = fallingWindows();
    for (Collector* c : {&used, &fresh}) {
        c->initialize(nullptr);
        c->reset();
    }
    feed(used, step, windows);
    ASSERT_GT(used.getFoldedCount(), 0);
    used.reset();
    EXPECT_EQ(used.getFoldedCount(), 0);
    feed(used, step, windows);
    feed(fresh, step, windows);
    ASSERT_GT(fresh.getFoldedCount(), 0);
}

// The low and high points (LUFS) of the loudness range over windows of `levels` LUFS, in double
// precision: the windows above the relative gate, 20 LU below their mean energy, sorted; the
// points lie at the ranks 10 % and 95 % of the way through them, rounded.
std::pair<double, double> referenceRangePoints(std::vector<double> levels)
{
    double energy = 0.0;
    for (double l : levels)
        energy += std::pow(10.0, (l + 0.691) / 10.0);
    const double gate = 10.0 * std::log10(energy / static_cast<double>(levels.size())) - 0.691 - 20.0;
    std::erase_if(levels, [gate](double l) { return l <= gate; });
    std::sort(levels.begin(), levels.end());
    const double last = static_cast<double>(levels.size() - 1);
    return {levels[static_cast<size_t>(std::lround(0.1 * last))],
            levels[static_cast<size_t>(std::lround(0.95 * last))]};
}

double lufsOf(double meanSquare)
{
    return 10.0 * std::log10(meanSquare) - 0.691;
}

} // namespace

TEST(DspHistogramReset, ResetAfterFoldingReadsAsAFreshCollector)
{
    CollectorIntegrated used(1, 4800, 19200, 14400, 48000.0f, false), fresh(1, 4800, 19200, 14400, 48000.0f, false);
    fillResetAndRefeed(used, fresh, &CollectorIntegrated::integrateBlock);
    EXPECT_EQ(used.getGatedLoudness(), fresh.getGatedLoudness());
    EXPECT_EQ(used.isBelowRelativeGate(), fresh.isBelowRelativeGate());

    CollectorLoudnessRange usedRange(1, 4800, 144000, 96000, 48000.0f, false),
        freshRange(1, 4800, 144000, 96000, 48000.0f, false);
    fillResetAndRefeed(usedRange, freshRange, &CollectorLoudnessRange::rangeStep);
    EXPECT_EQ(usedRange.getLowPoint(), freshRange.getLowPoint());
    EXPECT_EQ(usedRange.getHighPoint(), freshRange.getHighPoint());
    EXPECT_EQ(usedRange.getRange(), freshRange.getRange());
    for (CollectorOverlap* c :
         {static_cast<CollectorOverlap*>(&used), static_cast<CollectorOverlap*>(&fresh),
          static_cast<CollectorOverlap*>(&usedRange), static_cast<CollectorOverlap*>(&freshRange)})
        c->terminate();
}

TEST(DspHistogramRank, TheRangesLowPointOnABinBoundaryIsTheBinAbove)
{
    // Two steady levels past the exact store's capacity, the louder first (each quieter window then
    // goes to the sorted store's head): the range is read from two bins of the histogram, and its
    // 10 % rank is the first window of the louder bin.
    const int count = 350001, quietCount = 35000;
    ASSERT_GT(count, CollectorOverlap::kCapacity);
    ASSERT_EQ(std::lround(0.1 * (count - 1)), quietCount);
    const double quiet = -30.0, loud = -20.0;
    std::vector<double> levels(static_cast<size_t>(count - quietCount), loud);
    levels.resize(static_cast<size_t>(count), quiet);
    CollectorLoudnessRange range(1, 4800, 144000, 96000, 48000.0f, false);
    range.initialize(nullptr);
    range.reset();
    for (double l : levels)
        range.rangeStep(range.getWindowLength(), static_cast<float>(std::pow(10.0, (l + 0.691) / 10.0)));
    ASSERT_GT(range.getFoldedCount(), 0);
    const auto [low, high] = referenceRangePoints(levels);
    EXPECT_NEAR(lufsOf(range.getLowPoint()), low, 1e-3);
    EXPECT_NEAR(lufsOf(range.getHighPoint()), high, 1e-3);
    EXPECT_NEAR(range.getRange(), high - low, 1e-3);
    range.terminate();
}
