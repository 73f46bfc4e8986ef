// A wait clock for the product's bounds (Platform::WaitBound: the plug-in's wait budget, the host's
// idle bound) on which time moves only as a bound sleeps out a slice that its wait ran out of: each
// such slice counts its whole length, and nothing else counts (neither a slice that was answered
// nor the time the thread waited to be scheduled). A bound on it reads what the code waited, slice
// by slice, however slowly the machine runs; the waits themselves still take their real time.
// Held, its sleeps do not return until it is let go: a bound on it then waits as long as the test
// wants, and runs out its count only after.
#pragma once

#include "platform/waitbound.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace testclock {

class SliceClock final : public Platform::WaitClock
{
public:
    time_point now() override
    {
        std::lock_guard<std::mutex> lock(m_);
        return t_;
    }
    void sleepUntil(time_point deadline) override
    {
        std::unique_lock<std::mutex> lock(m_);
        moved_.wait(lock, [this] { return !held_; });
        t_ = std::max(t_, deadline);
        moved_.notify_all();
    }
    void hold(bool held)
    {
        std::lock_guard<std::mutex> lock(m_);
        held_ = held;
        moved_.notify_all();
    }
    // What the bounds counted since `start`.
    std::chrono::milliseconds since(time_point start)
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now() - start);
    }
    // Waits until the bounds have counted `d` since `start`.
    void awaitCount(time_point start, std::chrono::milliseconds d)
    {
        std::unique_lock<std::mutex> lock(m_);
        moved_.wait(lock, [&] { return t_ - start >= d; });
    }

private:
    std::mutex m_;
    std::condition_variable moved_;
    time_point t_{};
    bool held_ = false;
};

} // namespace testclock
