// The host's bound on a plug-in that does no block, against a scripted clock: it ends at its bound
// in wall time however its waits go, and leaves out only stops of a second or more.
#include "host/idlebound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace {

using qelhost::IdleBound;
using qelhost::WaitClock;
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
