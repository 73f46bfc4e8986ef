// The processor's audio-thread calls neither allocate, lock nor wait, whatever the block brings:
// metering, read-outs with output changes, bypass with its crossfade, silence flags, offline
// pass-through, parameter resets, states and reset messages handed over by the main thread, every
// block size and blocks longer than the set-up promised. The test host's own audio thread does not
// allocate per block either, but for the display's idle it gives while it runs the display.
#include "host/audiothread.h"
#include "meter_fixture.h"

#include <string>
#include <thread>
#include <tuple>

#include "tests/common/audio_thread_probe.h"

namespace {

using namespace metertest;

// Parameter changes (phase of the driver's cycle, id, value): loudness reset, bypass on and off,
// the resets of the maxima.
constexpr std::tuple<int, uint32, double> kChanges[] = {{3, 4, 1.0},  {4, 4, 0.0},  {12, 0, 1.0}, {20, 0, 0.0},
                                                        {25, 5, 1.0}, {25, 7, 1.0}, {26, 5, 0.0}, {26, 7, 0.0}};

class MeterAudioThread : public BundleTest
{
protected:
    // Runs `blocks` blocks of `frames` samples straight into the processor on this thread, with a
    // "PluginDataGet" before every `readEvery`-th block and, in a cycle of 40 blocks, bypass fades,
    // silence flags, resets, ScaleLU, offline blocks, a state and reset messages, a block without
    // output changes and one without context. Answers the first process call that allocated, locked
    // or waited, if any, and checks that read-outs wrote values. The host's side of each block is left
    // out of the count.
    std::string drive(int frames, int blocks, int readEvery)
    {
        std::string fault;
        auto process = [&](ProcessData& data, int k) {
            audit::Watch watch;
            const tresult result = session.processor()->process(data);
            const audit::Counts c = watch.take();
            // Set up offline, a read-out may wait for a busy measuring thread; nothing else may.
            const long waits = session.processMode == kOffline ? c.waits : 0;
            if (c.total() != waits && fault.empty())
                fault = "block " + std::to_string(k) + ": " + audit::describe(c);
            return result;
        };
        auto block = std::make_unique<RawBlock>(2, frames);
        RawBlock& b = *block;
        const double rate = session.sampleRate();
        Stereo tone = sine(static_cast<double>(frames) / rate, rate, 997.0, 0.5, 0.3);
        const Bytes state = save();
        int written = 0;
        for (int k = 0; k < blocks; ++k) {
            const int phase = k % 40;
            b.inChanges.clear();
            b.outChanges.clear();
            const bool silent = phase == 7 || phase == 8;
            const float g = silent ? 0.0f : 0.2f + 0.05f * static_cast<float>(k % 7);
            for (std::size_t i = 0; i < static_cast<std::size_t>(frames); ++i) {
                b.in[0][i] = tone.l[i] * g;
                b.in[1][i] = tone.r[i] * g;
            }
            for (auto [when, id, value] : kChanges)
                if (when == phase)
                    b.inChanges.add(id, value);
            if (phase == 30)
                b.inChanges.add(48, (k / 40) % 2 ? 0.0 : 1.0); // ScaleLU
            if (phase == 33) {
                IConnectionPoint* cp = session.processorConnection();
                session.router().sendToProcessor(cp, "resetMaxLevelIn", "resetMaxLevelIn", 0);
                session.router().sendToProcessor(cp, "resetMaxLevelOut", "resetMaxLevelOut", 0);
                EXPECT_EQ(setState(state), kResultOk);
            }
            const bool readOut = k % readEvery == 0;
            if (readOut)
                session.requestData();
            const std::int64_t pos = static_cast<std::int64_t>(k) * frames;
            b.ctx = ProcessContext{};
            b.ctx.state = kPlaying;
            b.ctx.sampleRate = rate;
            b.ctx.projectTimeSamples = b.ctx.continuousTimeSamples = pos;
            b.ctx.tempo = 120.0;
            b.ctx.projectTimeMusic = static_cast<double>(pos) / rate * 2.0;
            const bool offline = phase >= 36;
            if (offline) {
                // Blocks 36 and 37 lie wholly before the second position and pass unmeasured.
                b.ctx.state |= kProjectTimeMusicValid | kTempoValid | kCycleValid;
                b.ctx.cycleStartMusic = phase < 38 ? b.ctx.projectTimeMusic + 1000.0 : 0.0;
            }
            b.ib.silenceFlags = silent ? 3 : 0;
            b.ob.silenceFlags = 0;
            b.data.processMode = offline ? kOffline : kRealtime;
            b.data.numSamples = frames;
            b.data.outputParameterChanges = phase == 15 ? nullptr : &b.outChanges;
            b.data.processContext = phase == 16 ? nullptr : &b.ctx;
            EXPECT_EQ(process(b.data, k), kResultOk) << "block " << k;
            if (readOut && b.outChanges.getParameterCount() > 0)
                ++written;
            EXPECT_TRUE(std::isfinite(b.out[0][0]) && std::isfinite(b.out[1][static_cast<std::size_t>(frames - 1)]));
        }
        // An empty block that only carries parameter changes and a read-out, as hosts flush them.
        session.requestData();
        b.inChanges.clear();
        b.outChanges.clear();
        b.inChanges.add(7, 1.0);
        b.inChanges.add(0, 0.0); // a bypassed meter writes no values
        b.data.numSamples = 0;
        b.data.outputParameterChanges = &b.outChanges;
        EXPECT_EQ(process(b.data, blocks), kResultOk);
        EXPECT_GT(b.outChanges.getParameterCount(), 0);
        EXPECT_GT(written, 0);
        return fault;
    }
};

TEST_F(MeterAudioThread, ProcessIsFreeOfAllocationLocksAndWaitsAtEveryBlockSize)
{
    session.processMode = kRealtime;
    setupStereo(1);
    // Set-up block size and the block size the host then sends; 4099 exceeds what was promised.
    for (auto [setup, frames] : {std::pair{1, 1}, {64, 64}, {512, 512}, {4096, 4096}, {512, 4099}}) {
        SCOPED_TRACE("block " + std::to_string(frames));
        std::string error;
        if (setup > 1) {
            ASSERT_TRUE(session.resetup(setup, error)) << error;
        }
        // About two seconds of audio; blocks of one sample cover a shorter stretch.
        const int blocks = frames == 1 ? 12000 : std::max(80, 96000 / frames);
        EXPECT_EQ(drive(frames, blocks, frames == 1 ? 500 : 10), "");
    }
    // The meter really measured the long blocks.
    session.readOut();
    EXPECT_GT(session.lastOutput(1), meterNorm(-30.0));
    // Set up offline, a read-out completes the readings: it may wait, but neither allocates nor locks.
    session.processMode = kOffline;
    std::string error;
    ASSERT_TRUE(session.resetup(256, error)) << error;
    EXPECT_EQ(drive(256, 400, 10), "");
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
    std::thread t([] {
        int* p = new int(3);
        audit::keep(p);
        delete p;
    });
    t.join();
    EXPECT_GT(others.take(), 0);
}

// The host's audio thread runs the blocks that Session::processBlock hands it; the hooks see its
// allocations while the main thread and the meter's workers are left out.
TEST_F(MeterAudioThread, HostAudioThreadNeitherAllocatesNorLocks)
{
    setupStereo(512);
    Stereo s = sine(0.5, 48000.0, 440.0, 0.3);
    audit::OtherThreads watch;
    for (int round = 0; round < 6; ++round) {
        session.setParameter(48, round % 2 ? 1.0 : 0.0);
        session.setParameter(0, round == 3 ? 1.0 : 0.0);
        session.requestData();
        feed(s, 512);
    }
    session.readOut();
    // Metering a whole source pipelines the blocks through the ring. With the display shown, the
    // audio thread also takes each block back and gives the display its idle time, as the main
    // thread would: that is left out, and its process calls, read-outs among them, are counted.
    struct TakeBackLeftOut final : AudioThread::Probe
    {
        void beforeBlock(std::uint64_t) override { audit::tExempt = false; }
        void processed(std::uint64_t) override { audit::tExempt = true; }
    } takeBackLeftOut; // outlives the audio thread, which calls it to the end
    std::string error;
    for (const bool shown : {false, true}) {
        SCOPED_TRACE(shown ? "display shown" : "display not shown");
        auto programme = makeTestProgramme(4.0);
        session.displayShown = shown;
        session.audioThread()->setProbe(shown ? &takeBackLeftOut : nullptr);
        session.clearOutputLog();
        ASSERT_TRUE(session.run(*programme, nullptr, error)) << error;
        EXPECT_EQ(session.outputLog().empty(), !shown) << "read-outs while the programme was metered";
    }
    session.audioThread()->setProbe(nullptr);
    long locks = 0;
    const long seen = watch.take(&locks);
    EXPECT_EQ(seen, 0) << "allocations on the host's audio thread";
    EXPECT_EQ(locks, 0) << "locks on the host's audio thread";
    session.readOut();
    EXPECT_GT(session.lastOutput(3), meterNorm(-40.0));
}

} // namespace
