// Cache sizes from the processor's leaf-2 descriptors.
#include <atomic>

#include "platform/cpu.h"
#include "primitives/vector/cpu_internal.h"
#include "primitives/vector/ipps_vector.h"

namespace {

// Collects the descriptor bytes of CPUID leaf 2; false when the leaf has another format.
bool leaf2Descriptors(Ipp8u bytes[16], int& count)
{
    const auto r = Platform::cpuid(2, 0);
    if ((r.eax & 0xFFu) != 1u)
        return false;
    count = 0;
    const Ipp32u regs[4] = {r.eax, r.ebx, r.ecx, r.edx};
    for (int i = 0; i < 4; ++i) {
        if (regs[i] & 0x80000000u)
            continue;
        for (int b = (i == 0 ? 1 : 0); b < 4; ++b)
            bytes[count++] = Ipp8u(regs[i] >> (8 * b));
    }
    return true;
}

bool contains(const Ipp8u* bytes, int count, Ipp8u d)
{
    for (int i = 0; i < count; ++i)
        if (bytes[i] == d)
            return true;
    return false;
}

// Caches of 512 KiB and more, largest first: descriptor, size code.
constexpr Ipp8u largeCaches[43][2] = {
    {0xec, 0xc3}, {0xeb, 0x93}, {0x4d, 0x16}, {0xea, 0x34}, {0x4c, 0x34}, {0xe4, 0x15}, {0xde, 0x15}, {0x4b, 0x15},
    {0x47, 0x15}, {0x4e, 0x33}, {0x4a, 0x33}, {0xe3, 0x14}, {0xdd, 0x14}, {0xd8, 0x14}, {0x49, 0x14}, {0x29, 0x14},
    {0x46, 0x14}, {0x48, 0x32}, {0xe2, 0x13}, {0xdc, 0x13}, {0xd7, 0x13}, {0xd2, 0x13}, {0x25, 0x13}, {0x7d, 0x13},
    {0x85, 0x13}, {0x45, 0x13}, {0xd6, 0x12}, {0xd1, 0x12}, {0x23, 0x12}, {0x87, 0x12}, {0x7c, 0x12}, {0x78, 0x12},
    {0x84, 0x12}, {0x44, 0x12}, {0xd0, 0x11}, {0x22, 0x11}, {0x7b, 0x11}, {0x80, 0x11}, {0x86, 0x11}, {0x3e, 0x11},
    {0x7f, 0x11}, {0x83, 0x11}, {0x43, 0x11},
};

std::int64_t probeLargeCache()
{
    if (!ipp_is_GenuineIntel())
        return 0;
    Ipp8u bytes[16];
    int count = 0;
    if (!leaf2Descriptors(bytes, count))
        return 0;
    for (const auto& e : largeCaches)
        if (contains(bytes, count, e[0]))
            return std::int64_t(e[1] >> 4) << ((e[1] & 15) + 18);
    return 0;
}

std::atomic<std::int64_t> cachedLargeCache{-1};
std::atomic<std::int32_t> cachedCores{0};

} // namespace

namespace NorrikIpp {

void resetCacheProbe()
{
    cachedLargeCache.store(-1, std::memory_order_relaxed);
    cachedCores.store(0, std::memory_order_relaxed);
}

std::int64_t largeCacheSize()
{
    std::int64_t s = cachedLargeCache.load(std::memory_order_relaxed);
    if (s < 0) {
        s = probeLargeCache();
        cachedLargeCache.store(s, std::memory_order_relaxed);
    }
    return s;
}

std::int32_t coresSharingCache()
{
    std::int32_t c = cachedCores.load(std::memory_order_relaxed);
    if (c == 0) {
        c = ipp_get_cores_on_die();
        cachedCores.store(c, std::memory_order_relaxed);
    }
    return c;
}

} // namespace NorrikIpp

IPP_API Ipp32s ownGetCacheSize(const Ipp32s* table)
{
    Ipp8u bytes[16];
    int count = 0;
    if (!leaf2Descriptors(bytes, count))
        return -1;
    for (; table[0] != 0; table += 2)
        if (contains(bytes, count, Ipp8u(table[0])))
            return table[1];
    return -1;
}
