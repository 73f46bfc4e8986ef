// The read-out's wait budget against a scripted clock: it ends at its bound in wall time however
// its waits go, and leaves out only stops of a second or more.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "dsp/collectors.h"

using namespace DSP;

namespace {

constexpr std::int64_t kMs = 1000000;

// Moves only as the script says; a sleep lasts until its deadline exactly.
// Its time `t` in nanoseconds.
class ScriptedClock final : public WaitClock
{
public:
    time_point now() override { return time_point(std::chrono::nanoseconds(t)); }
    void sleepUntil(time_point deadline) override
    {
        ++sleeps;
        t = std::max<std::int64_t>(
            t, std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count());
    }
    std::int64_t t = 5000 * kMs;
    int sleeps = 0;
};

struct Outcome
{
    std::int64_t wallMs;
    int waits;
    int sleeps;
};

// Waits slices until the budget is spent (at most `cap` waits): `wait(clock, askedMs, index)` is
// one wait, `between(clock, index)` what happens before the next.
template <class Wait, class Between>
Outcome runOut(int32 limitMs, Wait wait, Between between, int cap = 100000)
{
    ScriptedClock clock;
    const std::int64_t start = clock.t;
    WaitBudget budget(limitMs, clock);
    int waits = 0;
    while (!budget.isSpent() && waits < cap) {
        budget.waitSlice([&](int32 ms) { return wait(clock, ms, waits); });
        between(clock, waits++);
    }
    return {(clock.t - start) / kMs, waits, clock.sleeps};
}

} // namespace

TEST(DspWaitBudget, EndsAtItsBoundInWallTimeHoweverItsWaitsGo)
{
    const int32 limit = CollectorOverlap::kWaitLimitMs;
    struct Case
    {
        const char* name;
        // Time the wait takes, in hundredths of what it was asked for, plus `extraMs`.
        int percent;
        int extraMs;
        bool woken;
        int betweenMs;
    };
    const Case cases[] = {
        {"slow scheduler: each wait takes 1.5 times its length", 150, 0, false, 0},
        {"woken each time before the worker has settled", 0, 3, true, 0},
        {"waits cut short by stops and continues", 0, 5, false, 0},
        {"a short stop after each wait", 100, 300, false, 0},
        {"preempted between the waits", 100, 0, false, 15},
        {"a wait that fails at once", 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome run = runOut(
            limit,
            [&](ScriptedClock& clock, int32 ms, int) {
                clock.t += static_cast<std::int64_t>(ms) * kMs * c.percent / 100 + c.extraMs * kMs;
                return c.woken;
            },
            [&](ScriptedClock& clock, int) { clock.t += c.betweenMs * kMs; });
        EXPECT_GE(run.wallMs, limit);
        EXPECT_LE(run.wallMs, limit * 11 / 10);
        // No spinning: an unanswered wait lasts its whole slice of 20 ms, slept out when it came
        // back early, and each is followed by at most one sleep.
        EXPECT_LE(run.waits, c.woken ? limit / 3 + 1 : limit / 20 + 1);
        EXPECT_LE(run.sleeps, run.waits);
    }
}

TEST(DspWaitBudget, AStopOfASecondOrMoreCountsAsOneSlice)
{
    const int32 limit = 4000;
    struct Case
    {
        int stopMs;
        bool inWait; // else between two waits, as while the read-out helps a sleeping worker
        bool leftOut;
    };
    const Case cases[] = {
        {2000, true, true}, {2000, false, true}, {1000, true, true}, {900, true, false}, {900, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stopMs << " ms " << (c.inWait ? "in a wait" : "between waits"));
        const Outcome run = runOut(
            limit,
            [&](ScriptedClock& clock, int32 ms, int i) {
                clock.t += (ms + (c.inWait && i == 50 ? c.stopMs : 0)) * kMs;
                return false;
            },
            [&](ScriptedClock& clock, int i) { clock.t += !c.inWait && i == 50 ? c.stopMs * kMs : 0; });
        // Every wait takes its 20 ms; the 51st slice holds the stop and counts as 20 ms, or as
        // 20 ms and the whole stop.
        const int stopCounted = c.leftOut ? 20 : 20 + c.stopMs;
        EXPECT_EQ(run.waits, 1 + (limit - stopCounted + 19) / 20);
        EXPECT_EQ(run.wallMs, limit + (c.leftOut ? c.stopMs : 0));
    }
}

TEST(DspWaitBudget, SlicesAreShortAndAWaitThatFailsAtOnceStillSpendsTheBudget)
{
    // A wait that returns at once unanswered (a semaphore that cannot wait) sleeps out its whole
    // slice: the budget runs out after its length in slices, never looping without end.
    ScriptedClock clock;
    WaitBudget budget(1000, clock);
    int32 asked = 0, slices = 0;
    while (!budget.isSpent() && slices < 10000) {
        budget.waitSlice([&](int32 ms) {
            EXPECT_GE(ms, 1);
            EXPECT_LE(ms, 50); // short: a stop of the process costs one slice at the most
            asked += ms;
            return false;
        });
        ++slices;
    }
    EXPECT_TRUE(budget.isSpent());
    EXPECT_EQ(asked, 1000);
    EXPECT_GE(slices, 20);
    EXPECT_EQ(clock.sleeps, slices);
    EXPECT_FALSE(budget.waitSlice([](int32) { return true; })); // spent: no more waiting
    WaitBudget none(0);
    EXPECT_TRUE(none.isSpent());
}

TEST(DspWaitBudget, TheSteadyClockSleepsUntilItsDeadline)
{
    WaitClock& clock = WaitClock::steady();
    const auto before = clock.now();
    clock.sleepUntil(before + std::chrono::milliseconds(2));
    EXPECT_GE(clock.now(), before + std::chrono::milliseconds(2));
    clock.sleepUntil(before); // already past: returns at once
}
