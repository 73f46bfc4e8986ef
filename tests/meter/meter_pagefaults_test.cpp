// A stream's first process calls fault in no more memory than steady ones do: no call writes a
// loudness window's history at once, after a set-up, a re-set-up or a stop and start. Counted on a
// thread of the test's own (minor faults of that thread alone), never timed.
#include "meter_fixture.h"

#include <sys/resource.h>

#include <algorithm>
#include <thread>

#include "tests/common/sanitized.h"

namespace {

using namespace metertest;

long threadFaults()
{
    rusage ru{};
    getrusage(RUSAGE_THREAD, &ru);
    return ru.ru_minflt;
}

// 6 channels at 192 kHz: the short-term window's 2 s of history is 9 MB, some 2,250 pages, and the
// momentary one's 0.3 s some 340. A call writes at most a block of each channel's two windows, a
// page or two a channel each, and the meter's own small stores. A sanitizer's shadow memory adds
// pages of its own, ThreadSanitizer's some 50 a call and 300 at a thread's first.
constexpr long kFaultBound = NORRIK_TEST_SANITIZED ? 600 : 200;

class MeterPageFaults : public BundleTest
{
protected:
    static constexpr int kChannels = 6;
    static constexpr double kRate = 192000.0;

    // The most minor faults one process call took over `seconds` of noise, on a thread of its own.
    long costliestCall(int frames, double seconds, int32 mode)
    {
        RawBlock b(kChannels, frames);
        b.ctx.state = kPlaying;
        b.ctx.sampleRate = kRate;
        b.data.processContext = &b.ctx;
        b.data.processMode = mode;
        const long calls = static_cast<long>(seconds * kRate) / frames;
        long worst = 0;
        std::thread audio([&] {
            std::uint32_t seed = 7;
            for (long k = 0; k < calls; ++k) {
                for (auto& ch : b.in)
                    for (float& x : ch) {
                        seed = seed * 1664525u + 1013904223u;
                        x = 0.25f * (static_cast<float>(seed) / 2147483648.0f - 1.0f);
                    }
                const long before = threadFaults();
                session.processor()->process(b.data);
                worst = std::max(worst, threadFaults() - before);
            }
        });
        audio.join();
        return worst;
    }

    void checkStream(int32 mode)
    {
        session.processMode = mode;
        std::string error;
        ASSERT_TRUE(session.setup(kRate, kChannels, 512, error)) << error;
        // Past the first full short-term window (3 s), which the history's silence precedes.
        EXPECT_LE(costliestCall(512, 3.5, mode), kFaultBound) << "after the set-up";
        ASSERT_TRUE(session.resetup(256, error)) << error;
        EXPECT_LE(costliestCall(256, 3.5, mode), kFaultBound) << "after a re-set-up";
        ASSERT_EQ(session.component()->setActive(false), kResultOk);
        ASSERT_EQ(session.component()->setActive(true), kResultOk);
        EXPECT_LE(costliestCall(256, 3.5, mode), kFaultBound) << "after a stop and start";
    }
};

TEST_F(MeterPageFaults, NoCallFaultsInAWindowsHistoryAfterSetUpReSetUpOrRestartInRealTime)
{
    checkStream(kRealtime);
}

TEST_F(MeterPageFaults, NoCallFaultsInAWindowsHistoryAfterSetUpReSetUpOrRestartOffline)
{
    checkStream(kOffline);
}

} // namespace
