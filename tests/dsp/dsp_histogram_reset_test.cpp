// A reset after the collectors have folded windows into their histograms leaves nothing behind:
// what they read afterwards is what collectors that never saw the earlier windows read.
#include <gtest/gtest.h>

#include <cmath>
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
