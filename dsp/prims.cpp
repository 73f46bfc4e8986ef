#include "dsp/prims.h"

#include <new>

namespace DSP {

namespace {

void* allocate(std::int64_t count, std::size_t elementSize, bool zeroed)
{
    // The base allocator takes a 32-bit size and adds its own header: stay well below that.
    constexpr std::int64_t kMaxBytes = std::int64_t(1) << 31;
    if (count < 0 || elementSize == 0 || count > kMaxBytes / static_cast<std::int64_t>(elementSize))
        throw std::bad_alloc();
    const std::size_t bytes = static_cast<std::size_t>(count > 0 ? count : 1) * elementSize;
    void* p = nullptr;
    try {
        p = zeroed ? alignedCalloc(static_cast<std::uint32_t>(bytes), 16)
                   : alignedMalloc(static_cast<std::uint32_t>(bytes), 16);
    } catch (...) {
        p = nullptr;
    }
    if (!p)
        throw std::bad_alloc();
    return p;
}

} // namespace

void* allocateZeroed(std::int64_t count, std::size_t elementSize)
{
    return allocate(count, elementSize, true);
}

void* allocateForOverwrite(std::int64_t count, std::size_t elementSize)
{
    return allocate(count, elementSize, false);
}

} // namespace DSP
