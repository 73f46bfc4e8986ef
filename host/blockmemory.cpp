#include "host/blockmemory.h"

namespace qelhost {

std::byte* BlockMemory::hold(std::size_t bytes)
{
    if (memory_ && size_ >= bytes)
        return memory_.get();
    memory_.reset();
    size_ = 0;
    memory_.reset(static_cast<std::byte*>(::operator new (bytes, std::align_val_t{kAlign})));
    size_ = bytes;
    return memory_.get();
}

void BlockMemory::abandon()
{
    (void)memory_.release();
    size_ = 0;
}

} // namespace qelhost
