#include "base/alignedmemory.h"

#include <cstdlib>
#include <cstring>

namespace {

// A block of `size` bytes at a multiple of `alignment` inside one from `allocate(total)`.
template <class Allocate>
void* alignedBlock(uint32_t size, uint32_t alignment, Allocate allocate)
{
    if (alignment < 2 || (alignment & 1u) != 0)
        return nullptr;
    // 64-bit sum: a 32-bit one would wrap for large requests and hand out a tiny block.
    const uint64_t total = static_cast<uint64_t>(size) + alignment + sizeof(void*);
    if (total > static_cast<uint64_t>(SIZE_MAX))
        throw "Not enough memory!";
    void* raw = allocate(static_cast<size_t>(total));
    if (!raw)
        throw "Not enough memory!";
    const uintptr_t start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (start + alignment + sizeof(void*)) & ~static_cast<uintptr_t>(alignment - 1);
    std::memcpy(reinterpret_cast<void*>(aligned - sizeof(void*)), &raw, sizeof(void*));
    return reinterpret_cast<void*>(aligned);
}

} // namespace

void* alignedMalloc(uint32_t size, uint32_t alignment)
{
    return alignedBlock(size, alignment, [](size_t total) { return std::malloc(total); });
}

void* alignedCalloc(uint32_t size, uint32_t alignment)
{
    return alignedBlock(size, alignment, [](size_t total) { return std::calloc(1, total); });
}

bool alignedFree(void* address)
{
    if (!address)
        return true;
    void* raw;
    std::memcpy(&raw, static_cast<char*>(address) - sizeof(void*), sizeof(void*));
    std::free(raw);
    return true;
}
