// The host's bound on a plug-in that does no block, against a scripted clock: it ends at its bound
// in wall time however its waits go, and leaves out only stops of a second or more; as the audio
// thread waits for blocks, a slow plug-in goes on, a stopped one is called stopped, a block done
// just as the main thread looks wakes it, and a block is taken back before it counts as done.
#include "host/audiothread.h"
#include "host/idlebound.h"
#include "tests/common/hang_guard.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

namespace {

using namespace qelhost;
using ms = std::chrono::milliseconds;

// Moves only as the script says; a sleep lasts until its deadline exactly.
class ScriptedClock final : public WaitClock
{
public:
    time_point now() override { return t; }
    void sleepUntil(time_point deadline) override
    {
        ++sleeps;
        t = std::max(t, deadline);
    }
    time_point t = time_point(std::chrono::seconds(7));
    int sleeps = 0;
};

struct Outcome
{
    long wallMs;
    int waits;
    int sleeps;
};

// Waits unanswered slices until the bound is over (at most `cap` waits): `wait(clock, asked, index)`
// is one wait, `between(clock, index)` what happens before the next.
template <class Wait, class Between>
Outcome runOut(IdleBound::duration bound, Wait wait, Between between, int cap = 100000)
{
    ScriptedClock clock;
    const auto start = clock.t;
    IdleBound idle(bound, clock);
    int waits = 0;
    while (!idle.isOver() && waits < cap) {
        EXPECT_FALSE(idle.waitSlice([&](IdleBound::duration slice) {
            wait(clock, slice, waits);
            return false;
        }));
        between(clock, idle, waits++);
    }
    return {static_cast<long>(std::chrono::duration_cast<ms>(clock.t - start).count()), waits, clock.sleeps};
}

// A plug-in whose process() returns at once; the audio thread calls nothing else.
class InstantPlugIn : public IAudioProcessor
{
public:
    tresult process(ProcessData&) override { return kResultOk; }
    tresult queryInterface(const std::uint8_t*, void**) override { return kNoInterface; }
    uint32 addRef() override { return 1; }
    uint32 release() override { return 1; }
    tresult setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*, int32) override { return kResultFalse; }
    tresult getBusArrangement(int32, int32, SpeakerArrangement&) override { return kResultFalse; }
    tresult canProcessSampleSize(int32) override { return kResultFalse; }
    uint32 getLatencySamples() override { return 0; }
    tresult setupProcessing(ProcessSetup&) override { return kResultFalse; }
    tresult slot8() override { return kNotImplemented; }
    uint32 getTailSamples() override { return 0; }
};

// A plug-in each of whose blocks takes `block` on a clock that moves only as the main thread sleeps:
// a block returns once the sleeps have carried the clock to its end, and a sleep returns once every
// block due by then has returned. So the main thread sees the same blocks done at each time
// however the threads are scheduled. From block `stopAt` on the plug-in has stopped: the call
// returns only when let go.
class PacedPlugIn final : public InstantPlugIn, public WaitClock
{
public:
    static constexpr time_point kStart = time_point(std::chrono::seconds(7));
    PacedPlugIn(ms block, std::uint64_t stopAt, std::uint64_t blocks) : block_(block), stopAt_(stopAt), blocks_(blocks)
    {}

    time_point now() override
    {
        std::lock_guard<std::mutex> lock(m_);
        return t_;
    }
    void sleepUntil(time_point deadline) override
    {
        std::unique_lock<std::mutex> lock(m_);
        t_ = std::max(t_, deadline);
        moved_.notify_all();
        // Block k has returned, and the audio thread has counted it, once block k + 1 has begun.
        const std::uint64_t due =
            std::min<std::uint64_t>({stopAt_, static_cast<std::uint64_t>((t_ - kStart) / block_), blocks_ - 1});
        if (!moved_.wait_for(lock, kHang, [&] { return begun_ > due; }))
            ADD_FAILURE() << "the audio thread did not come to block " << due;
    }
    tresult process(ProcessData&) override
    {
        std::unique_lock<std::mutex> lock(m_);
        const std::uint64_t k = begun_++;
        moved_.notify_all();
        moved_.wait_for(lock, kHang, [&] {
            return letGo_ || (k < stopAt_ && t_ >= kStart + block_ * static_cast<std::int64_t>(k + 1));
        });
        return kResultOk;
    }
    void letGo()
    {
        std::lock_guard<std::mutex> lock(m_);
        letGo_ = true;
        moved_.notify_all();
    }

private:
    // A thread that waits this long for the other's next step has hung (a step takes microseconds).
    static constexpr auto kHang = testguard::kNoProgress;
    std::mutex m_;
    std::condition_variable moved_;
    time_point t_ = kStart;
    ms block_;
    std::uint64_t stopAt_, blocks_, begun_ = 0;
    bool letGo_ = false;
};

} // namespace

TEST(HostIdleBound, EndsAtItsBoundInWallTimeHoweverItsWaitsGo)
{
    const auto bound = std::chrono::seconds(2);
    struct Case
    {
        const char* name;
        int percent; // of the time asked for, that the wait takes, plus `extraMs`
        int extraMs;
        int betweenMs;
    };
    const Case cases[] = {
        {"slow scheduler: each wait takes 1.5 times its length", 150, 0, 0},
        {"waits cut short by stops and continues", 0, 40, 0},
        {"a short stop after each wait", 100, 300, 0},
        {"preempted between the waits", 100, 0, 50},
        {"a wait that fails at once", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = runOut(
            bound,
            [&](ScriptedClock& clock, IdleBound::duration slice, int) {
                clock.t += slice * c.percent / 100 + ms(c.extraMs);
            },
            [&](ScriptedClock& clock, IdleBound&, int) { clock.t += ms(c.betweenMs); });
        EXPECT_GE(run.wallMs, 2000);
        EXPECT_LE(run.wallMs, 2200);
        // No spinning: each wait lasts its whole 200-ms slice, slept out when it came back early.
        EXPECT_LE(run.waits, 10);
        EXPECT_LE(run.sleeps, run.waits);
    }
}

TEST(HostIdleBound, AStopOfASecondOrMoreCountsAsOneSliceAndABlockDoneStartsTheCountAgain)
{
    const auto bound = std::chrono::seconds(2);
    // The 4th wait, and what comes after it, take longer; every other wait takes its slice.
    struct Case
    {
        const char* name;
        int waitMs;
        int betweenMs;
        long wallMs;
        int waits;
    };
    const Case cases[] = {
        {"a 2-s stop as the wait ends", 2200, 0, 4000, 10},      {"a 2-s stop between waits", 200, 2000, 4000, 10},
        {"a 1-s stop from the wait's start", 1000, 0, 2800, 10}, {"a 0.9-s stop 50 ms into the wait", 950, 0, 2000, 7},
        {"a 0.7-s stop between waits", 200, 700, 2000, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = runOut(
            bound,
            [&](ScriptedClock& clock, IdleBound::duration slice, int i) {
                clock.t += i == 3 ? ms(c.waitMs) : IdleBound::duration(slice);
            },
            [&](ScriptedClock& clock, IdleBound&, int i) { clock.t += ms(i == 3 ? c.betweenMs : 0); });
        EXPECT_EQ(run.wallMs, c.wallMs);
        EXPECT_EQ(run.waits, c.waits);
    }
    // A block done after 1.8 s of waiting: the plug-in has 2 s again from then.
    const Outcome run = runOut(
        bound, [](ScriptedClock& clock, IdleBound::duration slice, int) { clock.t += slice; },
        [](ScriptedClock&, IdleBound& idle, int i) {
            if (i == 8)
                idle.restart();
        });
    EXPECT_EQ(run.wallMs, 3800);
    EXPECT_EQ(run.waits, 19);
}

TEST(HostAudioThread, ASlowPlugInGoesOnAndAStoppedOneIsCalledStoppedOnceItsBoundHasPassed)
{
    // Bounds below the 200-ms slice, so that one wait slice is the whole bound and sees several blocks.
    constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max(), kTarget = 12, kBlocks = kTarget + 4;
    const ms bound(20);
    struct Case
    {
        const char* name;
        int blockMs;
        std::uint64_t stopAt;
    };
    const Case cases[] = {
        {"blocks of 40 % of the bound", 8, kNever},
        {"blocks of 95 % of the bound", 19, kNever},
        {"a plug-in that stops after three blocks", 8, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PacedPlugIn plugin(ms(c.blockMs), c.stopAt, kBlocks);
        std::vector<ProcessBlock> blocks(kBlocks);
        bool reached = false;
        {
            AudioThread audio(&plugin, plugin);
            for (ProcessBlock& b : blocks)
                audio.submit(&b);
            reached = audio.waitFor(kTarget, bound);
            plugin.letGo();
        }
        EXPECT_EQ(reached, c.stopAt == kNever);
        if (c.stopAt != kNever) {
            // Counted from the slice that saw the last block done: the bound, and at most a slice more.
            const auto sinceLastBlock =
                plugin.now() - (PacedPlugIn::kStart + ms(c.blockMs) * static_cast<std::int64_t>(c.stopAt));
            EXPECT_GE(sinceLastBlock, bound);
            EXPECT_LE(sinceLastBlock, bound * 2);
        }
    }
}

TEST(HostAudioThread, ABlockDoneAsTheMainThreadLooksWakesItWithoutASliceRunningOut)
{
    // Block 0 is done, and block 1 begun, right after the main thread's look at what is done and
    // before its first wait: the wake must come, so no slice runs out (the clock would then move on).
    PacedPlugIn plugin(ms(10), std::numeric_limits<std::uint64_t>::max(), 2);
    std::vector<ProcessBlock> blocks(2);
    bool reached = false;
    {
        // Outlives the audio thread, which calls it to its last block.
        struct : AudioThread::Probe
        {
            PacedPlugIn* plugin;
            void lastLook(std::uint64_t) override { plugin->sleepUntil(PacedPlugIn::kStart + ms(10)); }
        } probe;
        probe.plugin = &plugin;
        AudioThread audio(&plugin, plugin);
        audio.setProbe(&probe);
        for (ProcessBlock& b : blocks)
            audio.submit(&b);
        reached = audio.waitFor(1, std::chrono::seconds(10));
        plugin.letGo();
    }
    EXPECT_TRUE(reached);
    EXPECT_EQ(std::chrono::duration_cast<ms>(plugin.now() - PacedPlugIn::kStart).count(), 10)
        << "the main thread slept out a slice: its wake was lost";
}

TEST(HostAudioThread, ABlockDoneBeforeTheMainThreadSaysItWaitsIsSeenWithoutASliceRunningOut)
{
    // The audio thread has done block 0 and found no main thread waiting for it; only then does the
    // main thread begin its wait, and says it waits before the audio thread goes on. The block must
    // be seen done at the main thread's look, as no wake will come: a slice that runs out (the
    // clock moves only then) is a block published after that look.
    InstantPlugIn plugin;
    ScriptedClock clock;
    struct : AudioThread::Probe
    {
        std::atomic<int> stage{0}; // 1: the audio thread found nobody waiting; 2: the main thread waits or is done
        void lookedForWaiter(std::uint64_t, bool waiting) override
        {
            if (waiting)
                return;
            stage.store(1);
            stage.notify_all();
            stage.wait(1);
        }
        void lastLook(std::uint64_t) override { goOn(); }
        void goOn()
        {
            stage.store(2);
            stage.notify_all();
        }
    } probe; // outlives the audio thread, which calls it to its last block
    ProcessBlock block;
    bool reached = false;
    {
        AudioThread audio(&plugin, clock);
        audio.setProbe(&probe);
        audio.submit(&block);
        audio.kick();
        probe.stage.wait(0);
        reached = audio.waitFor(1, std::chrono::seconds(10));
        probe.goOn();
    }
    EXPECT_TRUE(reached);
    EXPECT_EQ(clock.sleeps, 0) << "the main thread slept out a slice: the block was published after its look";
}

TEST(HostAudioThread, ABlockIsTakenBackBeforeItCountsAsDone)
{
    // Once a block counts as done, the main thread may fill its slot with the next: the audio
    // thread's take-back must be over by then.
    struct Taken : ProcessBlock
    {
        AudioThread* audio = nullptr;
        std::uint64_t doneThen = 0;
    };
    InstantPlugIn plugin;
    std::vector<Taken> blocks(3);
    {
        AudioThread audio(&plugin);
        for (Taken& b : blocks) {
            b.audio = &audio;
            b.takeBack = [](ProcessBlock& p) {
                Taken& t = static_cast<Taken&>(p);
                t.doneThen = t.audio->done();
            };
            audio.submit(&b);
        }
        EXPECT_TRUE(audio.waitFor(blocks.size(), std::chrono::hours(1)));
    }
    for (std::size_t k = 0; k < blocks.size(); ++k)
        EXPECT_EQ(blocks[k].doneThen, k) << "block " << k << " was taken back once done";
}
