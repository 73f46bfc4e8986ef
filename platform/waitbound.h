// A bound on waiting, counted in wall time: waiting to be scheduled on a busy machine counts. The
// waits go in slices, and only a slice that lasts a second or more, far longer than any scheduling
// delay, counts as long as it was meant to: it held a stop (a suspended job, a debugger, a frozen
// container) in which what is waited for could not run either. No allocation or lock: the plug-in's
// offline feed waits with it on the audio thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <thread>

namespace Platform {

// Where a bound reads the time and sleeps; tests replace it.
class WaitClock
{
public:
    using time_point = std::chrono::steady_clock::time_point;
    virtual time_point now() = 0;
    // Returns at `deadline` or later.
    virtual void sleepUntil(time_point deadline) = 0;
    // The machine's monotonic clock.
    static WaitClock& steady();

protected:
    ~WaitClock() = default;
};

class WaitBound
{
public:
    using duration = std::chrono::steady_clock::duration;
    static constexpr duration kStop = std::chrono::seconds(1);

    WaitBound(duration bound, duration slice, WaitClock& clock = WaitClock::steady())
    : time_(clock), bound_(bound), slice_(slice), last_(clock.now())
    {}
    bool isOver() const { return idle_ >= bound_; }
    // What is waited for moved on: the count starts again.
    void restart()
    {
        idle_ = {};
        last_ = time_.now();
    }
    // One slice of `wait(duration)`, which answers true when it was woken before its time ran out.
    template <class Wait>
    bool waitSlice(Wait&& wait)
    {
        const duration slice = std::min(slice_, bound_ - idle_);
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
        // Time between the waits counts too.
        const duration took = now - last_;
        last_ = now;
        idle_ += took >= kStop ? slice : std::max(took, duration::zero());
        return woken;
    }

private:
    WaitClock& time_;
    duration bound_;
    duration slice_;
    duration idle_{0};
    WaitClock::time_point last_;
};

namespace detail {
class SteadyWaitClock final : public WaitClock
{
public:
    time_point now() override { return std::chrono::steady_clock::now(); }
    void sleepUntil(time_point deadline) override { std::this_thread::sleep_until(deadline); }
};
// Constant-initialised: the audio thread's first wait takes no guard.
inline constinit SteadyWaitClock steadyWaitClock;
} // namespace detail

inline WaitClock& WaitClock::steady()
{
    return detail::steadyWaitClock;
}

} // namespace Platform
