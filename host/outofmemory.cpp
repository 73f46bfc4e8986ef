#include "host/outofmemory.h"

#include <atomic>

namespace qelhost {

namespace {
std::atomic<std::uint64_t> gFailures{0};
thread_local std::uint64_t tFailures = 0;
std::atomic<FailedAllocationCounter> gFailedAllocations{nullptr};
} // namespace

void countFailedAllocationsWith(FailedAllocationCounter counter)
{
    gFailedAllocations.store(counter);
}

std::uint64_t failedAllocationsOnThisThread()
{
    const FailedAllocationCounter counter = gFailedAllocations.load();
    return counter ? counter() : 0;
}

std::uint64_t memoryFailures()
{
    return gFailures.load();
}

std::uint64_t memoryFailuresOnThisThread()
{
    return tFailures;
}

void noteMemoryFailure()
{
    gFailures.fetch_add(1);
    ++tFailures;
}

tresult counted(tresult answer)
{
    if (answer == kOutOfMemory)
        noteMemoryFailure();
    return answer;
}

} // namespace qelhost
