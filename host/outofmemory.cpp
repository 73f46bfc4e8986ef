#include "host/outofmemory.h"

#include <atomic>

namespace qelhost {

namespace {
std::atomic<std::uint64_t> gFailures{0};
} // namespace

std::uint64_t memoryFailures()
{
    return gFailures.load();
}

void noteMemoryFailure()
{
    gFailures.fetch_add(1);
}

tresult counted(tresult answer)
{
    if (answer == kOutOfMemory)
        noteMemoryFailure();
    return answer;
}

} // namespace qelhost
