// Out of memory at set-up the meter either measures right or reads as a meter that has measured
// nothing, and a later set-up brings it back.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/common/allocation_countdown.h"
#include "tests/dsp/dsp_support.h"

namespace {

using namespace DSP;

constexpr uint64 k51 = 0x3f; // L R C LFE Ls Rs
const int32 kReadings[] = {kMeterMomentary,    kMeterShortTerm,        kMeterIntegrated,
                           kMeterMomentaryMax, kMeterShortTermMax,     kMeterRange,
                           kMeterTruePeak,     kMeterTruePeakChannel0, kMeterBelowRelativeGate};

dsptest::Signal noise(int channels, size_t frames)
{
    dsptest::Signal s(channels, frames);
    dsptest::Lcg rng;
    for (auto& channel : s.data)
        for (float& x : channel)
            x = 0.5f * rng.next();
    return s;
}

std::vector<double> readings(BigMeterAcc& acc)
{
    std::vector<double> v;
    for (int32 id : kReadings)
        v.push_back(acc.getValue(id));
    return v;
}

// Each allocation of a change to 5.1 fails in turn: the meter either took the layout and measures
// exactly as one that never failed, or refused for want of memory, passes audio through and reads as
// a meter that has measured nothing (no 0 LUFS, no over); set up again, it measures right.
TEST(DspAllocationFailure, ChannelSetUpMeasuresRightOrReadsNothing)
{
    dsptest::Signal programme = noise(6, 24000);
    auto reference = dsptest::makeMeter(48000.0, 512, false, 3);
    const std::vector<double> fresh = readings(*reference);
    ASSERT_EQ(reference->setChannelMasks(k51, k51, 0), kChannelsAccepted);
    dsptest::feed(*reference, programme, 512);
    const std::vector<double> measured = readings(*reference);
    ASSERT_GT(measured[0], -30.0);

    int refusals = 0;
    for (long n = 0;; ++n) {
        SCOPED_TRACE(n);
        auto acc = dsptest::makeMeter(48000.0, 512, false, 3);
        int32 answer = 0;
        bool failed = false;
        {
            countdown::Fail fail(n);
            answer = acc->setChannelMasks(k51, k51, 0);
            failed = fail.failed();
        }
        if (answer == kChannelsOutOfMemory) {
            ++refusals;
            dsptest::Signal out(6, 512);
            acc->process(programme.at(0), out.at(0), 512);
            for (int c = 0; c < 6; ++c)
                EXPECT_TRUE(std::equal(out.data[c].begin(), out.data[c].end(), programme.data[c].begin()))
                    << "audio passes through";
            EXPECT_EQ(readings(*acc), fresh);
            ASSERT_EQ(acc->setChannelMasks(k51, k51, 0), kChannelsAccepted);
        } else {
            ASSERT_EQ(answer, kChannelsAccepted);
        }
        dsptest::feed(*acc, programme, 512);
        EXPECT_EQ(readings(*acc), measured);
        if (!failed)
            break;
    }
    EXPECT_GT(refusals, 0);
}

} // namespace
