// A wait clock for the product's bounds (Platform::WaitBound: the plug-in's wait budget, the host's
// idle bound) that reads the time an unloaded machine would show: wall time less the time this
// process's threads stood ready to run while the machine ran others. A worker that a busy machine
// runs slowly then takes no longer on it than on an idle one, while a worker that does not answer
// (blocked, never ready) still runs a bound out in wall time. Read from Linux's per-thread
// scheduler statistics; where they cannot be read, it is the monotonic clock.
#pragma once

#include "platform/waitbound.h"
#include "tests/common/proc_entries.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace testclock {

class UnloadedClock final : public Platform::WaitClock
{
public:
    UnloadedClock()
    {
        std::lock_guard<std::mutex> lock(m_);
        readyNs(); // the threads' ready time so far is not this clock's
        ready_ = 0;
    }
    time_point now() override
    {
        std::lock_guard<std::mutex> lock(m_);
        const auto wall = std::chrono::steady_clock::now();
        const time_point t = wall - std::chrono::nanoseconds(readyNs());
        last_ = std::max(last_, t);
        return last_;
    }
    void sleepUntil(time_point deadline) override
    {
        // The clock runs no faster than wall time: a real sleep for what is left never overshoots.
        for (time_point t = now(); t < deadline; t = now())
            std::this_thread::sleep_for(deadline - t);
    }

private:
    // The ready time of this process's threads since construction: each thread's growth is added
    // as it is seen, so a thread that ends takes nothing back.
    std::int64_t readyNs()
    {
        testproc::forEachEntry("/proc/self/task", "schedstat", [this](long tid, const char* line) {
            long long ran = 0, ready = 0;
            if (std::sscanf(line, "%lld %lld", &ran, &ready) != 2)
                return;
            const auto seen = seen_.find(tid);
            ready_ += std::max<std::int64_t>(ready - (seen != seen_.end() ? seen->second : 0), 0);
            seen_[tid] = ready;
        });
        return ready_;
    }

    std::mutex m_;
    std::map<long, std::int64_t> seen_;
    std::int64_t ready_ = 0;
    time_point last_{};
};

} // namespace testclock
