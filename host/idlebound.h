// How long the main thread has waited for blocks without one being done, in wall time: waiting to
// be scheduled on a busy machine counts. Only a slice that lasts a second or more, far longer than
// any scheduling delay, counts as long as it was meant to: it held a stop (a suspended job, a
// debugger) in which the plug-in could not run either.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

namespace qelhost {

// Where the bound reads the time and sleeps; tests replace it.
class WaitClock
{
public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual time_point now() = 0;
    // Returns at `deadline` or later.
    virtual void sleepUntil(time_point deadline) = 0;
    static WaitClock& steady();

protected:
    ~WaitClock() = default;
};

class IdleBound
{
public:
    using duration = std::chrono::steady_clock::duration;
    static constexpr duration kSlice = std::chrono::milliseconds(200);
    static constexpr duration kStop = std::chrono::seconds(1);

    explicit IdleBound(duration bound, WaitClock& clock = WaitClock::steady())
    : time_(clock), bound_(bound), last_(clock.now())
    {}
    bool isOver() const { return idle_ >= bound_; }
    // A block was done: the count starts again.
    void restart()
    {
        idle_ = {};
        last_ = time_.now();
    }
    // One slice of `wait(duration)`, which answers true when it was woken before its time ran out.
    template <class Wait>
    bool waitSlice(Wait&& wait)
    {
        const duration slice = std::min(kSlice, bound_ - idle_);
        if (slice <= duration::zero())
            return false;
        const auto deadline = time_.now() + slice;
        const bool woken = wait(slice);
        auto now = time_.now();
        // Back early unanswered (spuriously, or interrupted): the rest of the slice is slept out,
        // so a wait that fails at once neither spins nor ends the bound early.
        if (!woken && now < deadline) {
            time_.sleepUntil(deadline);
            now = time_.now();
        }
        const duration took = now - last_;
        last_ = now;
        idle_ += took >= kStop ? slice : std::max(took, duration::zero());
        return woken;
    }

private:
    WaitClock& time_;
    duration bound_;
    duration idle_{0};
    WaitClock::time_point last_;
};

inline WaitClock& WaitClock::steady()
{
    struct Steady final : WaitClock
    {
        time_point now() override { return std::chrono::steady_clock::now(); }
        void sleepUntil(time_point deadline) override { std::this_thread::sleep_until(deadline); }
    };
    static Steady clock;
    return clock;
}

} // namespace qelhost
