#include "host/blockmemory.h"

#include <sys/mman.h>

namespace qelhost {

std::byte* BlockMemory::hold(std::size_t bytes)
{
    if (memory_ && size_ >= bytes)
        return memory_;
    giveBack();
    void* p = mmap(nullptr, bytes > 0 ? bytes : 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    memory_ = static_cast<std::byte*>(p);
    size_ = bytes;
    return memory_;
}

void BlockMemory::abandon()
{
    memory_ = nullptr;
    size_ = 0;
}

void BlockMemory::giveBack()
{
    if (memory_)
        munmap(memory_, size_ > 0 ? size_ : 1);
    memory_ = nullptr;
    size_ = 0;
}

} // namespace qelhost
