// 32-byte aligned blocks from the heap, the raw address kept in the word below the block.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "primitives/vector/ipps_vector.h"

extern "C" {
IPP_EXPORT IppMallocFn i_malloc = std::malloc;
IPP_EXPORT IppCallocFn i_calloc = std::calloc;
IPP_EXPORT IppReallocFn i_realloc = std::realloc;
IPP_EXPORT IppFreeFn i_free = std::free;
}

IPP_API void* ippMalloc(Ipp32s length)
{
    if (length < 1)
        return nullptr;
    auto* raw = static_cast<Ipp8u*>(i_malloc(std::size_t(std::int64_t(length)) + 40));
    if (!raw)
        return nullptr;
    const std::uintptr_t user = (reinterpret_cast<std::uintptr_t>(raw) + 39) & ~std::uintptr_t(31);
    Ipp8u* p = raw + (user - reinterpret_cast<std::uintptr_t>(raw));
    std::memcpy(p - 8, &raw, sizeof raw);
    return p;
}

IPP_API void ippFree(void* p)
{
    if (!p)
        return;
    void* raw;
    std::memcpy(&raw, static_cast<Ipp8u*>(p) - 8, sizeof raw);
    i_free(raw);
}
