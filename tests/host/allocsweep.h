// Which allocations of a `meter` run an allocation sweep fails. The environment may choose:
//   NORRIK_ALLOCFAIL_STRIDE=N  every Nth (1: every one, the full sweep)
//   NORRIK_ALLOCFAIL_AT=N      allocation N alone, to look into one
// else the suite's sample: about `runs` of them, evenly spaced across the whole run.
#pragma once

#include <algorithm>
#include <cstdlib>

namespace allocsweep {

// The sweep goes this far beyond the allocations of a run with memory to spare: the threads make a
// few more or fewer each run.
constexpr double kBeyond = 1.05;

struct Plan
{
    long first = 1, last = 0, stride = 1; // allocations first, first + stride, ... up to last
    bool chosen = false;                  // the environment chose them: every fault is to be reported
};

// For a run of `allocations` with memory to spare, about `runs` of them, the first one of the
// `offset`th in the stride (so that cases with other offsets fail others).
inline Plan plan(long allocations, long runs, long offset)
{
    Plan p;
    const char* stride = std::getenv("NORRIK_ALLOCFAIL_STRIDE");
    const long given = stride ? std::atol(stride) : 0;
    p.chosen = given > 0;
    p.stride = p.chosen ? given : std::max(1L, allocations / runs);
    p.first = 1 + offset % p.stride;
    p.last = static_cast<long>(static_cast<double>(allocations) * kBeyond);
    if (const char* at = std::getenv("NORRIK_ALLOCFAIL_AT")) {
        p.first = p.last = std::atol(at);
        p.chosen = true;
    }
    return p;
}

} // namespace allocsweep
