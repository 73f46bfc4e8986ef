// The engine's audio-thread calls neither allocate, lock nor wait: the meter with its threaded
// collectors, over every block size (also longer than the set-up's), resets, silence, non-finite
// input and a stalled worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "dsp_support.h"
#include "tests/common/audio_thread_probe.h"

using namespace DSP;

namespace {

// Every id the processor reads on the audio thread when it writes its meter values.
const int32 kAudioReads[] = {0, 1, 2, 3, 8, 9, 10, 11, 12, 13, 15, 16, 27, 28, 42, 43, 45, 51, 52};

std::unique_ptr<BigMeterAcc> makeAcc(int32 block, bool threaded)
{
    auto acc = dsptest::makeMeter(48000.0, block, threaded);
    acc->setActive(true);
    return acc;
}

// One audio-thread session of the accessor: blocks of `block` samples with, along the way,
// resets by id, switches, silence, non-finite samples and every read the processor makes.
// Returns what the calling thread did.
audit::Counts meterSession(BigMeterAcc& acc, dsptest::Signal& in, dsptest::Signal& out, int32 block)
{
    // Pointer arrays made before counting starts.
    std::vector<float*> inPtr(2), outPtr(2), zero(2);
    std::vector<float> silent(static_cast<size_t>(block), 0.0f);
    std::vector<float> silent2(static_cast<size_t>(block), 0.0f);
    zero[0] = silent.data();
    zero[1] = silent2.data();
    const size_t frames = in.frames();
    double sink = 0.0;
    audit::Watch watch;
    size_t k = 0;
    for (size_t pos = 0; pos + static_cast<size_t>(block) <= frames; pos += static_cast<size_t>(block), ++k) {
        for (int c = 0; c < 2; ++c) {
            inPtr[static_cast<size_t>(c)] = in.data[static_cast<size_t>(c)].data() + pos;
            outPtr[static_cast<size_t>(c)] = out.data[static_cast<size_t>(c)].data() + pos;
        }
        // Resets of the loudness maxima, RMS maxima, true peak and everything (with the workers'
        // gating state), loudness off and on, RMS scale, bypass entry on and off.
        static const struct
        {
            size_t at;
            int32 id;
            double value;
        } kChanges[] = {{10, 5, 1},  {20, 6, 1}, {30, 7, 1}, {40, 13, 0}, {45, 13, 1},
                        {50, 14, 1}, {60, 4, 1}, {70, 0, 1}, {71, 0, 0}};
        for (const auto& change : kChanges)
            if (k % 97 == change.at)
                acc.setParameter(change.id, change.value);
        if (k % 13 == 5) {
            // A silent stretch, as the processor meters it when the host flags it.
            acc.processSilence(block);
            acc.process(zero.data(), outPtr.data(), block);
        } else {
            acc.process(inPtr.data(), outPtr.data(), block);
        }
        sink += acc.isSilent() ? 1.0 : 0.0;
        for (int32 id : kAudioReads)
            sink += acc.getValue(id);
        sink += acc.getLatency();
    }
    audit::Counts c = watch.take();
    EXPECT_FALSE(std::isnan(sink));
    return c;
}

} // namespace

TEST(DspAudioThread, MeterNeverAllocatesLocksOrWaitsAtAnyBlockSize)
{
    dsptest::Signal in = dsptest::programme(48000 * 4);
    // Non-finite samples take the scratch path.
    in.data[0][5000] = std::numeric_limits<float>::quiet_NaN();
    in.data[1][70001] = std::numeric_limits<float>::infinity();
    const int32 sizes[][2] = {{1, 1}, {64, 64}, {512, 512}, {4096, 4096}, {512, 4096 + 7}};
    for (const auto& size : sizes) {
        const int32 setUp = size[0], block = size[1];
        SCOPED_TRACE("block " + std::to_string(block) + " set up for " + std::to_string(setUp));
        auto acc = makeAcc(setUp, true);
        // A block of one sample runs over a shorter stretch: the calls are the same per block.
        const size_t frames = block == 1 ? 48000 : in.frames();
        dsptest::Signal part(2, frames), out(2, frames);
        for (int c = 0; c < 2; ++c)
            std::copy_n(in.data[static_cast<size_t>(c)].begin(), frames, part.data[static_cast<size_t>(c)].begin());
        audit::Counts c = meterSession(*acc, part, out, block);
        EXPECT_EQ(c.total(), 0) << audit::describe(c);
        // The metering really runs, on the workers as well: two undisturbed seconds read.
        dsptest::Signal tail = dsptest::programme(96000), tailOut(2, 96000);
        for (size_t pos = 0; pos + static_cast<size_t>(block) <= tail.frames(); pos += static_cast<size_t>(block))
            acc->process(tail.at(pos), tailOut.at(pos), block);
        dsptest::waitUnloaded(*acc);
        ASSERT_TRUE(acc->getMeter()->drain());
        EXPECT_GT(acc->getValue(1), -80.0);
        EXPECT_GT(acc->getValue(11), 0.0);
        EXPECT_GT(acc->getValue(3), -80.0);
        EXPECT_EQ(acc->getMeter()->getLoudness()->getDroppedWindows(), 0u);
    }
}

TEST(DspAudioThread, StalledWorkerDropsAndCountsWindowsWithoutWaitingAndNeverLosesAReset)
{
    dsptest::StallingCollector c;
    c.initialize(nullptr);
    c.reset();
    ASSERT_TRUE(c.isThreaded());
    std::vector<float> x(120 * 1500, 1e-4f);
    float* p = x.data();
    c.feed(&p, 120 * 4); // the start-up hops and the first full window
    c.requestResults();  // as read-outs do: one window is less than a batch
    c.entered.wait(0);
    // The queue fills and then drops: none of the windows is waited for.
    p = x.data() + 120 * 4;
    audit::Watch watch;
    c.feed(&p, static_cast<int32>(x.size()) - 120 * 4);
    c.reset(); // posted while the worker is stuck
    audit::Counts counts = watch.take();
    EXPECT_EQ(counts.total(), 0) << audit::describe(counts);
    EXPECT_EQ(c.getDroppedWindows(), 1500 - 3 - HandOverQueue::kCapacity);
    EXPECT_EQ(c.getGatedLoudness(), -80.0f);
    // The reset is carried out once the worker runs again, and measuring goes on after it.
    c.hold.store(false);
    c.hold.notify_all();
    c.setWaitClock(dsptest::unloadedClock());
    ASSERT_TRUE(c.drain());
    EXPECT_EQ(c.getStoredCount(), 0);
    p = x.data();
    c.feed(&p, 120 * 40);
    ASSERT_TRUE(c.drain());
    EXPECT_GT(c.getStoredCount(), 0);
    EXPECT_NEAR(c.getGatedLoudness(), loudnessOf(1e-4f), 1e-4);
    c.terminate();
}

// The hooks themselves see what they should, or the tests above would prove nothing.
TEST(DspAudioThread, HooksCountTheCallingThreadOnly)
{
    audit::Watch watch;
    auto* v = new std::vector<int>(100);
    audit::keep(v);
    delete v;
    std::thread other([] {
        std::vector<int> w(1000);
        audit::keep(w.data());
    });
    other.join();
    audit::Counts c = watch.take();
    EXPECT_GE(c.news + c.deletes, 4); // the vector, its elements and the thread's state
#if AUDIT_LIBC_HOOKS
    EXPECT_GE(c.mallocs, 2);
    EXPECT_GE(c.waits, 1); // the join
    std::mutex m;
    {
        audit::Watch w2;
        m.lock();
        m.unlock();
        void* q = std::malloc(10);
        audit::keep(q);
        std::free(q);
        std::this_thread::sleep_for(std::chrono::microseconds(10));
        audit::Counts d = w2.take();
        EXPECT_EQ(d.locks, 1);
        EXPECT_EQ(d.mallocs, 1);
        EXPECT_EQ(d.frees, 1);
        EXPECT_EQ(d.waits, 1);
    }
#endif
}
