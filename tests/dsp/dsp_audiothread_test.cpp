// The engine's audio-thread calls neither allocate, lock nor wait: the meter with its threaded
// collectors, over every block size, resets, silence, non-finite input and a stalled worker.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <linux/futex.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "dsp/bigmeter.h"
#include "dsp/bigmeteracc.h"
#include "dsp/collectors.h"
#include "dsp/loudness.h"
#include "dsp_support.h"

#include "tests/common/audio_thread_probe.h"
// ---------------------------------------------------------------------------------------------

using namespace DSP;

namespace {

// Every id the processor reads on the audio thread when it writes its meter values.
const int32 kAudioReads[] = {0, 1, 2, 3, 8, 9, 10, 11, 12, 13, 15, 16, 27, 28, 42, 43, 45, 51, 52};

std::unique_ptr<BigMeterAcc> makeAcc(int32 block, bool threaded, double rate = 48000.0)
{
    const auto& t = dsptest::processorTable();
    auto acc = std::make_unique<BigMeterAcc>(block, rate, t.data(), static_cast<int32>(t.size()), threaded);
    EXPECT_EQ(acc->setChannelMasks(3, 3, 0), 0);
    acc->setParameter(13, 1.0);
    acc->setActive(true);
    return acc;
}

dsptest::Signal programme(size_t frames)
{
    dsptest::Signal s(2, frames);
    dsptest::Lcg rng;
    for (size_t i = 0; i < frames; ++i) {
        const float env = 0.05f + 0.3f * static_cast<float>((i / 12000) % 4);
        s.data[0][i] = rng.next() * env + 0.2f * static_cast<float>(std::sin(static_cast<double>(i) * 0.05));
        s.data[1][i] = rng.next() * env * 0.7f;
    }
    return s;
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
        switch (k % 97) {
        case 10:
            acc.setParameter(5, 1.0);
            break; // loudness maxima
        case 20:
            acc.setParameter(6, 1.0);
            break; // RMS maxima
        case 30:
            acc.setParameter(7, 1.0);
            break; // true peak
        case 40:
            acc.setParameter(13, 0.0);
            break; // loudness off ...
        case 45:
            acc.setParameter(13, 1.0);
            break; // ... and on
        case 50:
            acc.setParameter(14, 1.0);
            break; // RMS scale
        case 60:
            acc.setParameter(4, 1.0);
            break; // everything, with the workers' gating state
        case 70:
            acc.setParameter(0, 1.0);
            break; // bypass entry
        case 71:
            acc.setParameter(0, 0.0);
            break;
        default:
            break;
        }
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
    dsptest::Signal in = programme(48000 * 4);
    // Non-finite samples take the scratch path.
    in.data[0][5000] = std::numeric_limits<float>::quiet_NaN();
    in.data[1][70001] = std::numeric_limits<float>::infinity();
    for (int32 block : {1, 64, 512, 4096}) {
        SCOPED_TRACE("block " + std::to_string(block));
        auto acc = makeAcc(block, true);
        ASSERT_TRUE(acc->getMeter()->getLoudness()->getDroppedWindows() == 0u);
        // A block of one sample runs over a shorter stretch: the calls are the same per block.
        const size_t frames = block == 1 ? 48000 : in.frames();
        dsptest::Signal part(2, frames), out(2, frames);
        for (int c = 0; c < 2; ++c)
            std::copy_n(in.data[static_cast<size_t>(c)].begin(), frames, part.data[static_cast<size_t>(c)].begin());
        audit::Counts c = meterSession(*acc, part, out, block);
        EXPECT_EQ(c.total(), 0) << audit::describe(c);
        // The metering really runs, on the workers as well: two undisturbed seconds read.
        dsptest::Signal tail = programme(96000), tailOut(2, 96000);
        for (size_t pos = 0; pos + static_cast<size_t>(block) <= tail.frames(); pos += static_cast<size_t>(block))
            acc->process(tail.at(pos), tailOut.at(pos), block);
        ASSERT_TRUE(acc->getMeter()->drain());
        EXPECT_GT(acc->getValue(1), -80.0);
        EXPECT_GT(acc->getValue(11), 0.0);
        EXPECT_GT(acc->getValue(3), -80.0);
        EXPECT_EQ(acc->getMeter()->getLoudness()->getDroppedWindows(), 0u);
    }
}

TEST(DspAudioThread, LongerBlockThanTheSetUpIsMeasuredInPlace)
{
    auto acc = makeAcc(512, true);
    dsptest::Signal in = programme(48000 * 2), out(2, 48000 * 2);
    audit::Counts c = meterSession(*acc, in, out, 4096 + 7);
    EXPECT_EQ(c.total(), 0) << audit::describe(c);
    ASSERT_TRUE(acc->getMeter()->drain());
    EXPECT_GT(acc->getValue(3), -80.0);
}

TEST(DspAudioThread, OtherSampleRates)
{
    for (double rate : {44100.0, 96000.0, 192000.0}) {
        SCOPED_TRACE("rate " + std::to_string(rate));
        auto acc = makeAcc(1024, true, rate);
        dsptest::Signal in = programme(static_cast<size_t>(rate) * 2), out(2, in.frames());
        audit::Counts c = meterSession(*acc, in, out, 1024);
        EXPECT_EQ(c.total(), 0) << audit::describe(c);
    }
}

TEST(DspAudioThread, BigMeterDirectlyWithThreadedCollectors)
{
    for (int32 block : {64, 4096}) {
        SCOPED_TRACE("block " + std::to_string(block));
        BigMeter meter(block, true, 48000.0);
        meter.initialize(nullptr);
        meter.reset();
        ASSERT_EQ(meter.setChannelConfig(2, 2, 0, 3), 0);
        meter.setParameter(13, 1.0);
        dsptest::Signal in = programme(48000 * 3), out(2, 48000 * 3);
        std::vector<float*> ip(2), op(2);
        double sink = 0.0;
        audit::Watch watch;
        size_t k = 0;
        for (size_t pos = 0; pos + static_cast<size_t>(block) <= in.frames(); pos += static_cast<size_t>(block), ++k) {
            for (size_t ch = 0; ch < 2; ++ch) {
                ip[ch] = in.data[ch].data() + pos;
                op[ch] = out.data[ch].data() + pos;
            }
            if (k % 50 == 49)
                meter.setParameter(4, 1.0);
            meter.process(ip.data(), op.data(), block);
            for (int32 id : {1, 2, 3, 8, 9, 10, 11, 12, 27, 43, 45, 51, 52})
                sink += meter.getValue(id);
        }
        audit::Counts c = watch.take();
        EXPECT_EQ(c.total(), 0) << audit::describe(c);
        EXPECT_FALSE(std::isnan(sink));
        const size_t done = k * static_cast<size_t>(block);
        for (size_t ch = 0; ch < 2; ++ch)
            EXPECT_TRUE(std::equal(in.data[ch].begin(), in.data[ch].begin() + static_cast<std::ptrdiff_t>(done),
                                   out.data[ch].begin()));
        // Two undisturbed seconds read once the workers have caught up.
        for (size_t pos = 0; pos + static_cast<size_t>(block) <= 96000; pos += static_cast<size_t>(block))
            meter.process(in.at(pos), out.at(pos), block);
        ASSERT_TRUE(meter.drain());
        EXPECT_GT(meter.getValue(3), -80.0);
        meter.terminate();
    }
}

TEST(DspAudioThread, StalledWorkerNeverHoldsUpTheFeed)
{
    dsptest::StallingCollector c;
    c.initialize(nullptr);
    c.reset();
    ASSERT_TRUE(c.isThreaded());
    std::vector<float> sq(4096, 0.01f);
    float* p[1] = {sq.data()};
    c.feed(p, 4096);
    for (int i = 0; i < 2000 && c.entered.load() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(c.entered.load(), 0);
    // The queue fills and then drops: thousands of windows, none waited for.
    audit::Watch watch;
    for (int i = 0; i < 400; ++i) {
        c.feed(p, 4096);
        if (i == 200)
            c.reset();
    }
    audit::Counts counts = watch.take();
    EXPECT_EQ(counts.total(), 0) << audit::describe(counts);
    EXPECT_GT(c.getDroppedWindows(), 0u);
    c.hold.store(false);
    EXPECT_TRUE(c.drain());
    c.terminate();
}

// The hooks themselves see what they should, or the tests above would prove nothing.
TEST(DspAudioThread, HooksCountTheCallingThreadOnly)
{
    audit::Watch watch;
    auto* v = new std::vector<int>(100);
    delete v;
    std::thread other([] {
        std::vector<int> w(1000);
        (void)w;
    });
    other.join();
    audit::Counts c = watch.take();
    EXPECT_GE(c.news, 2); // the vector, its elements and the thread's state
    EXPECT_GE(c.deletes, 2);
#if AUDIT_LIBC_HOOKS
    EXPECT_GE(c.mallocs, 2);
    EXPECT_GE(c.waits, 1); // the join
    std::mutex m;
    {
        audit::Watch w2;
        m.lock();
        m.unlock();
        void* q = std::malloc(10);
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
