// How long the calling thread kept itself off the CPU (asleep, or blocked in a wait): wall time less
// the time it ran and the time it stood ready on the run queue. A busy machine stretches the two
// it leaves out, never this one; so a test can bound how long a call slept without timing how
// fast the machine let it run. Read from Linux's per-thread scheduler statistics; where they
// cannot be read, wall time stands in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace testtime {

namespace detail {
inline std::int64_t monotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The calling thread's time on the CPU plus its time ready on the run queue, in ns; -1 unknown.
inline std::int64_t ranOrReadyNs()
{
    FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f)
        return -1;
    long long ran = 0, ready = 0;
    const int n = std::fscanf(f, "%lld %lld", &ran, &ready);
    std::fclose(f);
    return n == 2 ? static_cast<std::int64_t>(ran + ready) : -1;
}
} // namespace detail

// Started on the thread it measures, and read on that thread.
class OwnTime
{
public:
    OwnTime() : wall_(detail::monotonicNs()), other_(detail::ranOrReadyNs()) {}
    // Milliseconds off the CPU by the thread's own doing since construction.
    std::int64_t offCpuMs() const
    {
        const std::int64_t wall = detail::monotonicNs() - wall_;
        const std::int64_t other = detail::ranOrReadyNs();
        const std::int64_t off = other_ >= 0 && other >= 0 ? wall - (other - other_) : wall;
        return (off > 0 ? off : 0) / 1000000;
    }
    static bool measured() { return detail::ranOrReadyNs() >= 0; }

private:
    std::int64_t wall_;
    std::int64_t other_;
};

} // namespace testtime
