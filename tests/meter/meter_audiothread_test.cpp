// The processor's audio-thread calls neither allocate, lock nor wait, whatever the block brings:
// metering, read-outs with output changes, bypass with its crossfade, silence flags, offline
// pass-through, parameter resets, every block size and blocks longer than the set-up promised.
// The test host's own audio thread does not allocate per block either.
#include "meter_fixture.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>
#include <linux/futex.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "tests/common/audio_thread_probe.h"
// ---------------------------------------------------------------------------------------------

namespace {

using namespace metertest;

constexpr uint32 kBypass = 0;
constexpr uint32 kResetLoudness = 4;
constexpr uint32 kResetLoudnessMax = 5;
constexpr uint32 kResetTruePeak = 7;
constexpr uint32 kScaleLU = 48;
constexpr uint32 kPositionBits = (1u << 9) | (1u << 10) | (1u << 12);

void add(audit::Counts& a, const audit::Counts& b)
{
    a.news += b.news;
    a.deletes += b.deletes;
    a.mallocs += b.mallocs;
    a.frees += b.frees;
    a.locks += b.locks;
    a.waits += b.waits;
}

// What one run of blocks asks of the processor besides metering.
struct Plan
{
    int readEvery = 10;  // "PluginDataGet" before every n-th block
    bool bypass = true;  // on and off again, each with its fade
    bool silence = true; // flagged silent stretches
    bool offline = true; // offline blocks, some before the second position (passed through)
    bool resets = true;  // resets and switches by parameter
};

class MeterAudioThread : public BundleTest
{
protected:
    // Buffers, change lists and context the host prepares before each block, outside the count.
    struct Block
    {
        explicit Block(int frames) : l(static_cast<std::size_t>(frames)), r(l.size()), ol(l.size()), orr(l.size())
        {
            in[0] = l.data();
            in[1] = r.data();
            out[0] = ol.data();
            out[1] = orr.data();
        }
        std::vector<float> l, r, ol, orr;
        float* in[2];
        float* out[2];
        AudioBusBuffers inBus{};
        AudioBusBuffers outBus{};
        HostParameterChanges inChanges;
        HostParameterChanges outChanges;
        ProcessContext ctx{};
        ProcessData data{};
    };

    // Runs `blocks` blocks of `frames` samples straight into the processor on this thread and
    // answers what the process calls did; `written` counts the read-outs that wrote values.
    audit::Counts drive(int frames, int blocks, const Plan& plan, int& written)
    {
        IAudioProcessor* proc = session.processor();
        EXPECT_NE(proc, nullptr);
        audit::Counts total;
        if (!proc)
            return total;
        auto block = std::make_unique<Block>(frames);
        Block& b = *block;
        const double rate = session.sampleRate();
        Stereo tone = sine(static_cast<double>(frames) / rate, rate, 997.0, 0.5, 0.3);
        std::int64_t pos = 0;
        written = 0;
        for (int k = 0; k < blocks; ++k) {
            const int phase = k % 40;
            // Host side of the block.
            b.inChanges.clear();
            b.outChanges.clear();
            const bool silent = plan.silence && (phase == 7 || phase == 8);
            for (int i = 0; i < frames; ++i) {
                const float g = 0.2f + 0.05f * static_cast<float>(k % 7);
                b.l[static_cast<std::size_t>(i)] = silent ? 0.0f : tone.l[static_cast<std::size_t>(i)] * g;
                b.r[static_cast<std::size_t>(i)] = silent ? 0.0f : tone.r[static_cast<std::size_t>(i)] * g;
            }
            if (plan.bypass && phase == 12)
                b.inChanges.add(kBypass, 1.0);
            if (plan.bypass && phase == 20)
                b.inChanges.add(kBypass, 0.0);
            if (plan.resets) {
                if (phase == 3)
                    b.inChanges.add(kResetLoudness, 1.0);
                if (phase == 4)
                    b.inChanges.add(kResetLoudness, 0.0);
                if (phase == 25) {
                    b.inChanges.add(kResetLoudnessMax, 1.0);
                    b.inChanges.add(kResetTruePeak, 1.0);
                }
                if (phase == 26) {
                    b.inChanges.add(kResetLoudnessMax, 0.0);
                    b.inChanges.add(kResetTruePeak, 0.0);
                }
                if (phase == 30)
                    b.inChanges.add(kScaleLU, (k / 40) % 2 ? 0.0 : 1.0);
            }
            const bool readOut = plan.readEvery > 0 && k % plan.readEvery == 0;
            if (readOut)
                session.requestData();
            b.ctx = ProcessContext{};
            b.ctx.state = kPlaying;
            b.ctx.sampleRate = rate;
            b.ctx.projectTimeSamples = pos;
            b.ctx.continuousTimeSamples = pos;
            b.ctx.tempo = 120.0;
            b.ctx.projectTimeMusic = static_cast<double>(pos) / rate * 2.0;
            const bool offline = plan.offline && phase >= 36;
            if (offline) {
                // Blocks 36 and 37 lie wholly before the second position and pass unmeasured.
                b.ctx.state |= kPositionBits;
                b.ctx.cycleStartMusic = phase < 38 ? b.ctx.projectTimeMusic + 1000.0 : 0.0;
            }
            b.inBus.numChannels = 2;
            b.inBus.channelBuffers32 = b.in;
            b.inBus.silenceFlags = silent ? 3 : 0;
            b.outBus.numChannels = 2;
            b.outBus.channelBuffers32 = b.out;
            b.outBus.silenceFlags = 0;
            b.data = ProcessData{};
            b.data.processMode = offline ? kOffline : kRealtime;
            b.data.symbolicSampleSize = kSample32;
            b.data.numSamples = frames;
            b.data.numInputs = 1;
            b.data.numOutputs = 1;
            b.data.inputs = &b.inBus;
            b.data.outputs = &b.outBus;
            b.data.inputParameterChanges = &b.inChanges;
            b.data.outputParameterChanges = phase == 15 ? nullptr : &b.outChanges;
            b.data.processContext = phase == 16 ? nullptr : &b.ctx;

            audit::Watch watch;
            const tresult result = proc->process(b.data);
            add(total, watch.take());

            EXPECT_EQ(result, kResultOk) << "block " << k;
            if (readOut && b.outChanges.getParameterCount() > 0)
                ++written;
            // Whatever the path, the outputs carry finite samples.
            EXPECT_TRUE(std::isfinite(b.ol[0]) && std::isfinite(b.orr[static_cast<std::size_t>(frames - 1)]));
            pos += frames;
        }
        // An empty block that only carries parameter changes and a read-out, as hosts flush them.
        session.requestData();
        b.inChanges.clear();
        b.outChanges.clear();
        b.inChanges.add(kResetTruePeak, 1.0);
        b.inChanges.add(kBypass, 0.0); // a bypassed meter writes no values
        b.data.numSamples = 0;
        b.data.outputParameterChanges = &b.outChanges;
        b.data.processContext = &b.ctx;
        audit::Watch watch;
        EXPECT_EQ(proc->process(b.data), kResultOk);
        add(total, watch.take());
        EXPECT_GT(b.outChanges.getParameterCount(), 0);
        return total;
    }
};

TEST_F(MeterAudioThread, ProcessIsFreeOfAllocationLocksAndWaitsAtEveryBlockSize)
{
    for (int frames : {1, 64, 512, 4096}) {
        SCOPED_TRACE("block " + std::to_string(frames));
        std::string error;
        if (frames == 1)
            setupStereo(1);
        else
            ASSERT_TRUE(session.resetup(frames, error)) << error;
        // About two seconds of audio; blocks of one sample cover a shorter stretch.
        const int blocks = frames == 1 ? 12000 : std::max(80, 96000 / frames);
        Plan plan;
        plan.readEvery = frames == 1 ? 500 : 10;
        int written = 0;
        audit::Counts c = drive(frames, blocks, plan, written);
        EXPECT_EQ(c.total(), 0) << audit::describe(c);
        EXPECT_GT(written, 0);
    }
}

TEST_F(MeterAudioThread, BlockLongerThanTheSetUpIsMeteredWithoutAllocating)
{
    setupStereo(512);
    Plan plan;
    int written = 0;
    audit::Counts c = drive(4096 + 3, 60, plan, written);
    EXPECT_EQ(c.total(), 0) << audit::describe(c);
    EXPECT_GT(written, 0);
    // The meter really measured the long blocks.
    session.readOut();
    EXPECT_GT(session.lastOutput(1), meterNorm(-30.0));
}

// The bundle's own allocations reach the hooks, or the tests above would prove nothing: a new
// set-up rebuilds the meter.
TEST_F(MeterAudioThread, HooksSeeTheBundlesAllocations)
{
    setupStereo(512);
    ProcessSetup ps{kRealtime, kSample32, 1024, 0, 48000.0};
    audit::Watch watch;
    EXPECT_EQ(session.processor()->setupProcessing(ps), kResultOk);
    audit::Counts c = watch.take();
    EXPECT_GT(c.news, 10);
    EXPECT_GT(c.deletes, 10);
#if AUDIT_LIBC_HOOKS
    EXPECT_GT(c.mallocs, c.news); // the aligned buffers besides every new
#endif
    // A thread of the host's kind is seen; the meter's workers are not.
    audit::OtherThreads others;
    std::thread t([] { delete new int(3); });
    t.join();
    EXPECT_GT(others.take(), 0);
}

TEST_F(MeterAudioThread, ReadOutsAloneAndPlainMetering)
{
    setupStereo(256);
    Plan plain;
    plain.bypass = plain.silence = plain.offline = plain.resets = false;
    plain.readEvery = 1;
    int written = 0;
    audit::Counts c = drive(256, 400, plain, written);
    EXPECT_EQ(c.total(), 0) << audit::describe(c);
    EXPECT_EQ(written, 390); // every 40th block has no output list: its read-out waits for the next
}

// The host's audio thread runs the blocks that Session::processBlock hands it; the hooks see its
// allocations while the main thread and the meter's workers are left out.
TEST_F(MeterAudioThread, HostAudioThreadNeitherAllocatesNorLocks)
{
    setupStereo(512);
    Stereo s = sine(0.5, 48000.0, 440.0, 0.3);
    audit::OtherThreads watch;
    for (int round = 0; round < 6; ++round) {
        session.setParameter(kScaleLU, round % 2 ? 1.0 : 0.0);
        session.setParameter(kBypass, round == 3 ? 1.0 : 0.0);
        session.requestData();
        feed(s, 512);
    }
    session.readOut(false);
    // Metering a whole source pipelines the blocks through the ring, with the host's idle read-outs.
    auto programme = makeTestProgramme(4.0);
    std::string error;
    ASSERT_TRUE(session.run(*programme, nullptr, error)) << error;
    long locks = 0;
    const long seen = watch.take(&locks);
    EXPECT_EQ(seen, 0) << "allocations on the host's audio thread";
    EXPECT_EQ(locks, 0) << "locks on the host's audio thread";
    session.readOut();
    EXPECT_GT(session.lastOutput(3), meterNorm(-40.0));
}

} // namespace
